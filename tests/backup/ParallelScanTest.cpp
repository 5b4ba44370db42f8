// SPDX-License-Identifier: GPL-3.0-or-later
// The scan that runs ahead of the copy on a second thread: it must give exactly the copy,
// the reports and the order of the scan that runs inline, stop when told, and carry its
// failures to the copying thread.
#include "backup/BackupEngine.h"
#include "backup/FolderStream.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <grp.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using stowmere::backup::BackupEngine;
using stowmere::backup::BackupObserver;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::backup::Exclusions;
using stowmere::backup::FolderRecord;
using stowmere::backup::FolderScan;
using stowmere::backup::FolderStream;
using stowmere::backup::PreviewEntry;
using stowmere::backup::ScanSettings;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

// ---- The stream on its own -------------------------------------------------------------

/// A producer of numbered records with files, as a scan of count folders would make them.
FolderStream::Producer numbered(std::size_t count, std::size_t filesEach, std::atomic<std::size_t>& made)
{
    return [count, filesEach, &made](const std::atomic<bool>&) {
        FolderRecord record;
        record.index = made++;
        record.end = record.index >= count;
        if (!record.end)
            record.files.emplace(filesEach);
        return record;
    };
}

TEST(FolderStreamTest, AheadAndInlineHandOutTheSameRecordsInOrderThenEndForGood)
{
    for (const bool ahead : {false, true}) {
        std::atomic<std::size_t> made{0};
        FolderStream stream(numbered(500, 3, made), ahead, 64);
        EXPECT_EQ(stream.ahead(), ahead);
        for (std::size_t i = 0; i < 500; ++i) {
            const FolderRecord record = stream.take();
            ASSERT_FALSE(record.end) << i;
            EXPECT_EQ(record.index, i);
            EXPECT_EQ(record.files->size(), 3u);
        }
        EXPECT_TRUE(stream.take().end);
        EXPECT_TRUE(stream.take().end) << "and again, without asking the producer";
        EXPECT_EQ(made.load(), 501u);
    }
}

TEST(FolderStreamTest, ScanAheadStaysWithinItsBound)
{
    // Weight 1 + 9 files = 10 a record, bound 50: never more than five records waiting, one
    // more being made.
    std::atomic<std::size_t> made{0};
    std::atomic<std::size_t> taken{0};
    std::atomic<std::size_t> mostAhead{0};
    const auto producer = numbered(2000, 9, made);
    FolderStream stream(
        [&](const std::atomic<bool>& stop) {
            const std::size_t ahead = made.load() - taken.load();
            mostAhead = std::max(mostAhead.load(), ahead);
            return producer(stop);
        },
        true, 50);
    for (std::size_t i = 0; i < 2000; ++i) {
        ASSERT_EQ(stream.take().index, i);
        ++taken;
    }
    EXPECT_LE(mostAhead.load(), 6u);
}

TEST(FolderStreamTest, WhatTheScanThrowsComesOutInItsPlaceOnTheTakersThread)
{
    for (const bool ahead : {false, true}) {
        std::size_t made = 0;
        std::thread::id thrownOn;
        FolderStream stream(
            [&](const std::atomic<bool>&) {
                if (made == 4) {
                    thrownOn = std::this_thread::get_id();
                    throw std::runtime_error("the scan broke");
                }
                FolderRecord record;
                record.index = made++;
                return record;
            },
            ahead, 1000);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_FALSE(stream.take().error);
        const FolderRecord failed = stream.take();
        ASSERT_TRUE(failed.error);
        EXPECT_TRUE(failed.end);
        EXPECT_EQ(thrownOn != std::this_thread::get_id(), ahead);
        try {
            std::rethrow_exception(failed.error);
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "the scan broke");
        }
        EXPECT_TRUE(stream.take().end);
    }
}

TEST(FolderStreamTest, TakerThatStopsEarlyNeverHangsOnAFullQueueOrABusyScan)
{
    // The hang guard only keeps a failure from stopping the suite; it is no timing check.
    const auto endsWithin = [](const std::function<void()>& work) {
        auto running = std::async(std::launch::async, work);
        return running.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    };
    // A scan that never ends, blocked on a queue that is full.
    EXPECT_TRUE(endsWithin([] {
        std::atomic<std::size_t> made{0};
        FolderStream stream(numbered(SIZE_MAX, 10, made), true, 20);
        stream.take();
    }));
    // A scan busy inside one huge folder, which only the stop request ends.
    EXPECT_TRUE(endsWithin([] {
        std::atomic<bool> inside{false};
        FolderStream stream(
            [&](const std::atomic<bool>& stop) {
                inside = true;
                while (!stop.load())
                    std::this_thread::yield();
                return FolderRecord{};
            },
            true, 20);
        while (!inside.load())
            std::this_thread::yield();
    }));
    // Leaving through an exception on the taker's side.
    EXPECT_TRUE(endsWithin([] {
        std::atomic<std::size_t> made{0};
        try {
            FolderStream stream(numbered(SIZE_MAX, 1, made), true, 8);
            stream.take();
            throw std::runtime_error("the copy broke");
        } catch (const std::runtime_error&) {
        }
    }));
}

// ---- The engine, inline and ahead ------------------------------------------------------

constexpr uid_t kNobody = 65534;
constexpr std::time_t kStamp = 1'650'000'000;

/// Every call of the engine written down as text, with the source and destination folders
/// replaced by fixed words so that runs on different folders compare.
class CallLog : public RecordingObserver {
public:
    CallLog(std::string source, std::string dest)
        : RecordingObserver({true, true}), m_source(std::move(source)), m_dest(std::move(dest))
    {
    }

    void itemStarted(std::size_t index, const std::string& item) override
    {
        log("start " + std::to_string(index) + " " + item);
    }
    void uncheckItem(std::size_t index) override { log("uncheck " + std::to_string(index)); }
    void foldersListed(std::size_t count) override
    {
        if (onListed)
            onListed(count);
        log("listed " + std::to_string(count));
    }
    void copyingFile(const std::string& source, const std::string& target) override
    {
        log("copying " + source + " -> " + target);
    }
    void bytesCopied(std::uint64_t bytes) override { log("bytes " + std::to_string(bytes)); }
    void fileCopied(std::uint64_t count) override { log("copied " + std::to_string(count)); }
    void previewEntry(const PreviewEntry& entry) override
    {
        log(std::string("preview ") + stowmere::backup::previewKindName(entry.kind) + " " + entry.source +
            " -> " + entry.target + " " + std::to_string(entry.size) + " " + entry.reason);
    }
    void itemDone() override { log("step"); }
    void showError(const std::string& text) override { log("error " + text); }
    void showInformation(const std::string& text) override { log("information " + text); }
    void closeProgress() override { log("close"); }

    std::function<void(std::size_t)> onListed;
    std::string text;

    void log(std::string line)
    {
        for (const auto& [from, to] :
             {std::pair{m_dest, std::string("<dest>")}, std::pair{m_source, std::string("<src>")}}) {
            for (std::size_t at = line.find(from); at != std::string::npos; at = line.find(from, at))
                line.replace(at, from.size(), to);
        }
        text += line + "\n";
    }

private:
    std::string m_source;
    std::string m_dest;
};

enum class Kind {
    Setup, ///< a full copy for the incremental run to bring up to date, without the hook
    Full,
    Incremental,
    Preview
};

class ParallelScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Everyone may go through and write: the runs are made as another user.
        ::chmod(tree.path().c_str(), 0777);
    }

    /// The same tree every time it is made, in a fresh folder: files with fixed times and
    /// modes, links to a file, to a folder and to nothing, a folder and a file that only
    /// root may read, folders left out by a pattern and by a cache tag, and enough folders
    /// for the scan to run ahead.
    std::string makeSource(const std::string& name)
    {
        const std::string root = tree.folder(name + "/Data");
        const auto file = [&](const std::string& relative, const std::string& contents, mode_t mode = 0644) {
            const std::string path = tree.file(name + "/Data/" + relative, contents, kStamp);
            ::chmod(path.c_str(), mode);
        };
        file("a.txt", "alpha");
        file("run.sh", "#!/bin/sh\n", 0755);
        file("secret.txt", "root only", 0600);
        file("notes.tmp", "left out");
        file("Locked/inside.txt", "never read");
        ::chmod((root + "/Locked").c_str(), 0700);
        file("build/out.o", "left out");
        file("Cache/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc55\n");
        file("Cache/blob", "cached");
        for (int i = 0; i < 10; ++i)
            file("Hook/h" + std::to_string(i) + ".txt", std::string(static_cast<std::size_t>(100 + i), 'h'));
        ::chmod((root + "/Hook").c_str(), 0777);
        for (int i = 0; i < 30; ++i) {
            const std::string folder = "Tree/T" + std::to_string(i % 5) + "/N" + std::to_string(i);
            for (int j = 0; j < 4; ++j)
                file(folder + "/f" + std::to_string(j), std::to_string(i * 7 + j), j == 3 ? 0640 : 0644);
        }
        tree.folder(name + "/Data/Empty/Deeper");
        fs::create_symlink("a.txt", root + "/link-to-file");
        fs::create_directory_symlink("Tree", root + "/link-to-folder");
        fs::create_symlink("nowhere", root + "/dangling");
        const timespec times[2] = {{kStamp, 0}, {kStamp, 0}};
        for (const char* link : {"/link-to-file", "/link-to-folder", "/dangling"})
            ::utimensat(AT_FDCWD, (root + link).c_str(), times, AT_SYMLINK_NOFOLLOW);
        return root;
    }

    /// Runs the engine as nobody in a child process, so that what only root may read fails
    /// as it would for a user; returns the calls and the result as text.
    std::string runAsNobody(const std::string& source, const std::string& dest, Kind kind, bool parallel)
    {
        const std::string logFile = tree.path(fs::path(dest).parent_path().filename().string() + ".log");
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
                ::setresuid(kNobody, kNobody, kNobody) != 0)
                ::_exit(2);
            std::ofstream(logFile) << runEngine(source, dest, kind, parallel);
            ::_exit(0);
        }
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child run failed";
        std::ifstream in(logFile);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static std::string runEngine(const std::string& source, const std::string& dest, Kind kind, bool parallel)
    {
        BackupSettings settings;
        settings.destination = dest;
        settings.exclusions = {"*.tmp", "build/"};
        settings.honourCacheDirTag = true;
        settings.parallelScan = parallel;
        settings.parallelCopy = parallel;
        settings.incremental = kind == Kind::Incremental;
        ::umask(022);
        settings.dryRun = kind == Kind::Preview;
        const std::string hookFolder = source + "/Hook";
        CallLog log(source, dest);
        // The hook: as the folder Hook is reached, after its files were listed and before the
        // first one is copied (or previewed), all but h0.txt go. The scan read that folder
        // whole before the copy took it, whether the scan runs ahead or not, so both see the
        // same list and find the same files gone, whichever thread copies them. (A file
        // removed in a folder not scanned yet would be seen or not depending on how far ahead
        // the scan is; one removed during the folder's copy, depending on which thread got
        // to it first.)
        std::size_t hookListed = 0;
        {
            // The folders in the order a run takes them: the scan's order.
            const Exclusions exclusions(settings.exclusions);
            ScanSettings scanning;
            scanning.honourCacheDirTag = settings.honourCacheDirTag;
            std::atomic<bool> never{false};
            FolderScan scan(source, scanning, exclusions, never);
            std::vector<std::string> folders;
            for (FolderRecord record = scan.next(never); !record.end; record = scan.next(never))
                folders.push_back(record.rel);
            hookListed = static_cast<std::size_t>(std::find(folders.begin(), folders.end(), "/Hook") -
                                                  folders.begin()) +
                         1;
        }
        log.onListed = [&](std::size_t count) {
            if (count != hookListed || kind == Kind::Setup)
                return;
            for (const auto& entry : fs::directory_iterator(hookFolder)) {
                if (entry.path().filename() != "h0.txt")
                    fs::remove(entry.path());
            }
        };
        std::atomic<bool> cancel{false};
        const BackupResult result = BackupEngine(settings, log, cancel).runBackup({source});
        log.log("files " + std::to_string(result.filesCopied) + " bytes " +
                std::to_string(result.bytesCopied) + " excluded " + std::to_string(result.excluded) +
                " errors " + std::to_string(result.otherErrors) + " cancelled " +
                std::to_string(result.cancelled) + " failed " + std::to_string(result.copyFailed) +
                " preview " + std::to_string(result.preview.files) + "/" +
                std::to_string(result.preview.bytes) + "/" + std::to_string(result.preview.folders) + "/" +
                std::to_string(result.preview.same));
        for (const auto& entry : result.notBackedUp)
            log.log("not backed up " + entry.path + ": " + entry.reason);
        return log.text;
    }

    /// Every entry below a copy with its kind, permission bits, size, time and contents (a
    /// link's text); the run's lock file left out.
    /// A change for the incremental run: larger files with newer times, and new files.
    void changeSource(const std::string& name) const
    {
        for (int i = 0; i < 30; i += 4) {
            const std::string relative =
                name + "/Data/Tree/T" + std::to_string(i % 5) + "/N" + std::to_string(i) + "/f0";
            tree.file(relative, "more", kStamp + 10);
        }
        for (int i = 0; i < 10; ++i)
            tree.file(name + "/Data/Hook/n" + std::to_string(i) + ".txt", "new " + std::to_string(i), kStamp);
    }

    static std::string snapshot(const std::string& dest)
    {
        std::vector<std::string> lines;
        if (!fs::exists(dest))
            return "no copy";
        for (const auto& entry : fs::recursive_directory_iterator(dest)) {
            const std::string path = entry.path().string();
            if (entry.path().filename() == BackupEngine::kRunLockName ||
                entry.path().filename().string().starts_with(".stowmere-manifest"))
                continue;
            struct stat info {};
            ::lstat(path.c_str(), &info);
            std::string line = path.substr(dest.size()) + " " + std::to_string(info.st_mode);
            if (S_ISREG(info.st_mode)) {
                std::ifstream in(path);
                std::stringstream contents;
                contents << in.rdbuf();
                line += " " + std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + " " +
                        contents.str();
            } else if (S_ISLNK(info.st_mode)) {
                line += " -> " + fs::read_symlink(path).string() + " " + std::to_string(info.st_mtim.tv_sec);
            }
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        return text;
    }

    TestTree tree{"scan"};
};

} // namespace

TEST_F(ParallelScanTest, ScanAheadGivesExactlyTheCopyAndReportsOfTheInlineScan)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the engine as another user";
    int run = 0;
    for (const Kind kind : {Kind::Full, Kind::Incremental, Kind::Preview}) {
        std::string expectedLog;
        std::string expectedCopy;
        for (int round = 0; round < 3; ++round) {
            for (const bool parallel : {false, true}) {
                const std::string name = "run" + std::to_string(run++);
                const std::string source = makeSource(name);
                const std::string dest = tree.folder(name + "/dest");
                ::chmod(dest.c_str(), 0777);
                if (kind == Kind::Incremental) {
                    runAsNobody(source, dest, Kind::Setup, parallel);
                    changeSource(name);
                }
                const std::string log = runAsNobody(source, dest, kind, parallel);
                const std::string copy = snapshot(dest);
                if (expectedLog.empty()) {
                    expectedLog = log;
                    expectedCopy = copy;
                    continue;
                }
                EXPECT_EQ(log, expectedLog) << "kind " << static_cast<int>(kind) << ", parallel " << parallel;
                EXPECT_EQ(copy, expectedCopy)
                    << "kind " << static_cast<int>(kind) << ", parallel " << parallel;
            }
        }
        // The runs did meet what they were meant to meet.
        const bool preview = kind == Kind::Preview;
        EXPECT_NE(expectedLog.find("not backed up <src>/Locked: Permission denied"), std::string::npos)
            << expectedLog;
        EXPECT_NE(expectedLog.find("listed 41\n"), std::string::npos) << expectedLog;
        EXPECT_NE(expectedLog.find("excluded 3 "), std::string::npos) << expectedLog;
        // A preview opens no file: it neither finds the file it may not read nor the ones the
        // hook removed.
        EXPECT_EQ(expectedLog.find("not backed up <src>/secret.txt: Permission denied") != std::string::npos,
                  !preview)
            << expectedLog;
        EXPECT_EQ(expectedLog.find(": No such file or directory") != std::string::npos, !preview)
            << "the hook removed files the scan had listed\n"
            << expectedLog;
        EXPECT_EQ(expectedLog.find("preview excluded <src>/Cache") != std::string::npos, preview)
            << expectedLog;
        if (!preview) {
            EXPECT_NE(
                expectedCopy.find("/Data/link-to-folder " + std::to_string(S_IFLNK | 0777) + " -> Tree"),
                std::string::npos)
                << expectedCopy;
        }
    }
}

TEST_F(ParallelScanTest, CancelInTheMiddleOfALargeTreeEndsTheRunAndItsScanThread)
{
    for (int i = 0; i < 600; ++i)
        tree.file("big/Data/F" + std::to_string(i / 30) + "/S" + std::to_string(i) + "/f.txt", "f");
    tree.folder("dest");
    const auto threads = [] {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task"))
            ++count;
        return count;
    };
    const std::size_t before = threads();
    RecordingObserver watcher({true});
    std::atomic<bool> cancel{false};
    watcher.onFileCopied = [&cancel](std::uint64_t count) {
        if (count == 100)
            cancel = true;
    };
    BackupSettings settings;
    settings.destination = tree.path("dest");
    auto running = std::async(std::launch::async, [&] {
        return BackupEngine(settings, watcher, cancel).runBackup({tree.path("big/Data")});
    });
    // The time-out only keeps a hang from stopping the suite.
    ASSERT_EQ(running.wait_for(std::chrono::seconds(120)), std::future_status::ready) << "the run hangs";
    const BackupResult result = running.get();
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.filesCopied, 100u);
    // A joined thread leaves the process's task list a moment after the join returns: wait
    // for it, within a bound that only keeps a leaked thread from hanging the test.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (threads() != before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(threads(), before) << "the scan's thread is gone";
}
