// SPDX-License-Identifier: GPL-3.0-or-later
// Backups of trees that change under the run, trees that loop or lead into the kernel's
// own file systems, destinations that fill up, hold no links or belong to another run,
// and runs that are cancelled or killed part-way.
#include "backup/BackupEngine.h"
#include "backup/BackupStartCheck.h"
#include "backup/FailureReport.h"
#include "platform/FileLock.h"
#include "platform/ModificationStamp.h"

#include "RecordingObserver.h"
#include "support/FileContents.h"
#include "support/ScopedEnv.h"
#include "support/TestMount.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestMount;
using stowmere::testing::TestTree;

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

class LiveTreeTest : public ::testing::Test {
protected:
    BackupResult run(RecordingObserver& watcher, const std::vector<std::string>& items,
                     const std::string& destination, bool incremental = false)
    {
        BackupSettings settings;
        settings.destination = destination;
        settings.incremental = incremental;
        cancel = false;
        return BackupEngine(settings, watcher, cancel).runBackup(items);
    }
    /// A file of size bytes holding one MiB of data every 16 MiB and holes between: large
    /// to copy in chunks, quick to make.
    std::string scatteredFile(const std::string& relative, std::uint64_t size)
    {
        const std::string path = tree.file(relative, "");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        const std::string block(kMiB, 'd');
        for (std::uint64_t at = 0; at < size; at += 16 * kMiB)
            EXPECT_EQ(::pwrite(fd, block.data(), block.size(), static_cast<off_t>(at)),
                      static_cast<ssize_t>(kMiB));
        EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        ::close(fd);
        return path;
    }
    std::size_t filesBelow(const std::string& relative) const
    {
        std::size_t count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(tree.path(relative)))
            count += entry.is_regular_file() ? 1 : 0;
        return count;
    }
    std::size_t temporaryFilesBelow(const std::string& relative) const
    {
        std::size_t count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(tree.path(relative)))
            count += entry.path().filename().string().starts_with(".stowmere-tmp-") ? 1 : 0;
        return count;
    }

    TestTree tree;
    std::atomic<bool> cancel{false};
};

std::uint64_t allocatedBytes(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_blocks) * 512 : 0;
}

} // namespace

TEST_F(LiveTreeTest, FilesThatVanishOrChangeKindMidRunAreListedAndTheRunGoesOn)
{
    tree.file("src/Data/Sub/gone.txt", "gone");
    tree.file("src/Data/Sub/turned.txt", "turned");
    tree.file("src/Data/Sub/kept.txt", "kept");
    const std::string later = tree.file("src/later.txt", "later");
    tree.folder("dest");
    // After the folder Sub was listed, as the run reaches it and before any of its files is
    // copied: a cache deletes one file and another becomes a folder.
    RecordingObserver changer({true, true});
    changer.onFoldersListed = [&](std::size_t count) {
        if (count != 2)
            return;
        fs::remove(tree.path("src/Data/Sub/gone.txt"));
        fs::remove(tree.path("src/Data/Sub/turned.txt"));
        tree.folder("src/Data/Sub/turned.txt");
    };

    const BackupResult result = run(changer, {tree.path("src/Data"), later}, tree.path("dest"));

    EXPECT_FALSE(result.cancelled);
    EXPECT_FALSE(result.copyFailed);
    EXPECT_TRUE(changer.errors.empty());
    EXPECT_EQ(tree.read("dest/Data/Sub/kept.txt"), "kept");
    EXPECT_EQ(tree.read("dest/later.txt"), "later") << "the second item is still copied";
    ASSERT_EQ(result.notBackedUpCount, 2u);
    std::map<std::string, std::string> reasons;
    for (const auto& entry : result.notBackedUp)
        reasons[entry.path] = entry.reason;
    EXPECT_EQ(reasons[tree.path("src/Data/Sub/gone.txt")], "No such file or directory");
    EXPECT_EQ(reasons[tree.path("src/Data/Sub/turned.txt")],
              "it is no longer what it was when the folder was read");
    ASSERT_EQ(changer.information.size(), 1u);
    EXPECT_EQ(changer.information[0],
              stowmere::backup::notBackedUpText(result.notBackedUp, result.notBackedUpCount));
    EXPECT_EQ(changer.events.back(), "information") << "the list comes once, at the very end";
    EXPECT_EQ(temporaryFilesBelow("dest"), 0u);
}

TEST(NotBackedUpTextTest, ShowsFiftyLinesThenCountsTheRest)
{
    std::vector<stowmere::backup::NotBackedUp> entries;
    for (int i = 0; i < 52; ++i)
        entries.push_back({"/f" + std::to_string(i), "Permission denied"});
    for (const std::size_t count : {49u, 50u, 51u}) {
        const std::vector<stowmere::backup::NotBackedUp> some(entries.begin(), entries.begin() + count);
        const std::string text = stowmere::backup::notBackedUpText(some, count);
        EXPECT_TRUE(text.starts_with(
            "These files could not be read and were not backed up:\r\n/f0: Permission denied"));
        const bool cut = count > 50;
        EXPECT_EQ(text.find("/f49: Permission denied") != std::string::npos, count >= 50) << count;
        EXPECT_EQ(text.find("/f50:") != std::string::npos, false) << count;
        EXPECT_EQ(text.ends_with("\r\n... and 1 more"), cut) << count;
    }
    // The run keeps only the first entries but counts them all.
    EXPECT_TRUE(stowmere::backup::notBackedUpText(entries, 5000).ends_with("\r\n... and 4950 more"));
}

TEST_F(LiveTreeTest, FullDestinationStopsWithTheReasonAndKeepsThePreviousCopy)
{
    TestMount small(TestMount::Kind::Tmpfs, 2 * kMiB);
    if (!small.mounted())
        GTEST_SKIP() << small.why();
    std::string data(3 * kMiB, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 31 + i / 977);
    const std::string big = tree.file("src/big.bin", data);
    const std::string later = tree.file("src/later.txt", "later");
    const std::string previous = small.path() + "/big.bin";
    stowmere::testing::writeText(previous, "the previous backup");
    RecordingObserver watcher({true, true});

    const BackupResult result = run(watcher, {big, later}, small.path());

    EXPECT_TRUE(result.copyFailed);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.failureReason, "No space left on device");
    ASSERT_EQ(watcher.errors.size(), 1u);
    EXPECT_TRUE(
        watcher.errors[0].starts_with("Could not backup file: " + big + "\r\n\r\nDrive could be full."));
    EXPECT_TRUE(watcher.errors[0].ends_with("\r\n\r\nReason: No space left on device")) << watcher.errors[0];
    EXPECT_EQ(stowmere::testing::readText(previous), "the previous backup");
    EXPECT_FALSE(fs::exists(small.path() + "/later.txt")) << "the run stopped at the full disk";
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(small.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".stowmere-run.lock", "big.bin"}))
        << "no temporary file is left";
}

TEST_F(LiveTreeTest, LatticeOfLinksAndALinkToTheRootAreCopiedAsLinksAndTheRunEnds)
{
    constexpr int kFolders = 40;
    for (int i = 0; i < kFolders; ++i) {
        const std::string folder = tree.folder("src/Lattice/L" + std::to_string(i));
        tree.file("src/Lattice/L" + std::to_string(i) + "/f.txt", std::to_string(i));
        const std::string next = "../L" + std::to_string((i + 1) % kFolders);
        fs::create_directory_symlink(next, folder + "/a");
        fs::create_directory_symlink(next, folder + "/b");
    }
    fs::create_directory_symlink("/", tree.path("src/Lattice/root"));
    tree.folder("dest");
    RecordingObserver watcher({true});

    // Followed, these links would make the listing endless; the time-out only keeps a
    // failure of this test from hanging the suite, and the cancel ends the run for good.
    auto running = std::async(std::launch::async,
                              [&] { return run(watcher, {tree.path("src/Lattice")}, tree.path("dest")); });
    if (running.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
        cancel = true;
        running.wait();
        FAIL() << "the run did not end";
    }
    const BackupResult result = running.get();

    EXPECT_FALSE(result.copyFailed);
    EXPECT_EQ(filesBelow("dest/Lattice"), static_cast<std::size_t>(kFolders));
    EXPECT_EQ(result.filesCopied, static_cast<std::uint64_t>(kFolders * 3 + 1)) << "files and links";
    ASSERT_TRUE(fs::is_symlink(tree.path("dest/Lattice/root")));
    EXPECT_EQ(fs::read_symlink(tree.path("dest/Lattice/root")), "/");
    ASSERT_TRUE(fs::is_symlink(tree.path("dest/Lattice/L7/b")));
    EXPECT_EQ(fs::read_symlink(tree.path("dest/Lattice/L7/b")), "../L8");
}

TEST_F(LiveTreeTest, PseudoFileSystemsAreNeverRead)
{
    if (!stowmere::files::onPseudoFileSystem(std::string("/proc/self")))
        GTEST_SKIP() << "no /proc here";
    tree.folder("dest");
    RecordingObserver watcher({true, true});

    const BackupResult result = run(watcher, {"/proc/version", "/proc/self/fdinfo"}, tree.path("dest"));

    EXPECT_EQ(result.filesCopied, 0u);
    ASSERT_EQ(result.notBackedUpCount, 2u);
    EXPECT_EQ(result.notBackedUp[0].path, "/proc/version");
    EXPECT_NE(result.notBackedUp[1].reason.find("system file system"), std::string::npos);
    EXPECT_FALSE(tree.exists("dest/version"));
    EXPECT_FALSE(tree.exists("dest/fdinfo"));
}

TEST_F(LiveTreeTest, CancelDuringTheWalkStopsAtTheNextFolderAndEndsTheRun)
{
    for (int i = 0; i < 200; ++i)
        tree.file("src/Big/F" + std::to_string(i / 20) + "/S" + std::to_string(i) + "/f.txt", "f");
    const std::string later = tree.file("src/later.txt", "l");
    tree.folder("dest");
    RecordingObserver watcher({true, true});
    std::size_t listedAtCancel = 0;
    watcher.onFoldersListed = [&](std::size_t count) {
        if (count == 30) {
            listedAtCancel = count;
            cancel = true;
        }
    };

    const BackupResult result = run(watcher, {tree.path("src/Big"), later}, tree.path("dest"));

    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(watcher.listed, listedAtCancel) << "the walk stops at the next folder";
    // Folders are copied as the walk hands them over: the 29 before the one reached when
    // the cancel came are made and filled, nothing after them.
    std::size_t folders = 1;
    std::uint64_t filled = 0;
    for (const auto& entry : fs::recursive_directory_iterator(tree.path("dest/Big"))) {
        if (!entry.is_directory())
            continue;
        ++folders;
        if (entry.path().filename().string().starts_with("S")) {
            ++filled;
            EXPECT_TRUE(fs::exists(entry.path() / "f.txt")) << entry.path();
        }
    }
    EXPECT_EQ(folders, 29u);
    EXPECT_EQ(result.filesCopied, filled);
    EXPECT_FALSE(tree.exists("dest/later.txt"));
    ASSERT_GE(watcher.events.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(watcher.events.end() - 2, watcher.events.end()),
              (std::vector<std::string>{"step", "close"}));
}

// Cancelled half-way through a large file: the copy stops at the next chunk, the previous
// copy stays as it was and nothing of the new one is left. Files with holes are copied by
// their data, dense ones chunk by chunk; both must stop.
class CancelMidFileTest : public LiveTreeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CancelMidFileTest, StopsAtTheNextChunkAndLeavesTheOldCopy)
{
    const bool sparse = GetParam();
    std::string big;
    std::uint64_t size = 0;
    if (sparse) {
        size = kGiB;
        big = scatteredFile("src/disk.img", size);
    } else {
        size = 48 * kMiB;
        big = tree.file("src/disk.img", std::string(size, 'x'));
    }
    tree.file("dest/disk.img", "the previous backup");
    const std::string later = tree.file("src/later.txt", "l");
    RecordingObserver watcher({true, true});
    int callsAfterCancel = 0;
    watcher.onCopyProgress = [&](const std::string& source, std::uint64_t done, std::uint64_t total) {
        if (cancel)
            ++callsAfterCancel;
        if (source == big && total == size && done >= size / 2)
            cancel = true;
    };

    const BackupResult result = run(watcher, {big, later}, tree.path("dest"));

    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.filesCopied, 0u) << "a file cut off is not copied";
    EXPECT_EQ(callsAfterCancel, 0) << "no chunk is copied after the flag is seen";
    EXPECT_EQ(tree.read("dest/disk.img"), "the previous backup");
    EXPECT_FALSE(tree.exists("dest/later.txt"));
    EXPECT_EQ(temporaryFilesBelow("dest"), 0u);
}

INSTANTIATE_TEST_SUITE_P(SparseAndDense, CancelMidFileTest, ::testing::Bool());

TEST_F(LiveTreeTest, SparseGigabyteKeepsItsHoles)
{
    const std::string image = tree.file("src/disk.img", "");
    {
        const int fd = ::open(image.c_str(), O_WRONLY | O_CLOEXEC);
        const std::string head(4096, 'h');
        const std::string tail(4096, 't');
        ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), 4096);
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(kGiB - 4096)), 4096);
        ::close(fd);
    }
    // A hole at the end too: the size alone says where the file ends.
    const std::string trailing = tree.file("src/trailing.img", "data");
    fs::resize_file(trailing, 64 * kMiB);
    RecordingObserver watcher({true, true});
    tree.folder("dest");

    const BackupResult result = run(watcher, {image, trailing}, tree.path("dest"));

    ASSERT_EQ(result.filesCopied, 2u);
    const std::string copy = tree.path("dest/disk.img");
    EXPECT_EQ(fs::file_size(copy), kGiB);
    EXPECT_LE(allocatedBytes(copy), allocatedBytes(image) + kMiB);
    const int fd = ::open(copy.c_str(), O_RDONLY | O_CLOEXEC);
    char head = 0, middle = 1, tail = 0;
    EXPECT_EQ(::pread(fd, &head, 1, 100), 1);
    EXPECT_EQ(::pread(fd, &middle, 1, static_cast<off_t>(kGiB / 2)), 1);
    EXPECT_EQ(::pread(fd, &tail, 1, static_cast<off_t>(kGiB - 1)), 1);
    ::close(fd);
    EXPECT_EQ(head, 'h');
    EXPECT_EQ(middle, '\0');
    EXPECT_EQ(tail, 't');
    EXPECT_EQ(fs::file_size(tree.path("dest/trailing.img")), 64 * kMiB);
    EXPECT_LE(allocatedBytes(tree.path("dest/trailing.img")), kMiB);
}

TEST_F(LiveTreeTest, KilledCopyLeavesNothingAndAnEarlierRunsLeftoversAreCleared)
{
    const std::string big = scatteredFile("src/Data/disk.img", kGiB);
    tree.file("dest/Data/disk.img", "the previous backup");
    const std::string dest = tree.path("dest");
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The run dies half-way through the file as under a power cut or SIGKILL.
        RecordingObserver killer({true});
        killer.onCopyProgress = [&](const std::string&, std::uint64_t done, std::uint64_t) {
            if (done >= kGiB / 2)
                ::kill(::getpid(), SIGKILL);
        };
        std::atomic<bool> flag{false};
        BackupSettings settings;
        settings.destination = dest;
        BackupEngine(settings, killer, flag).runBackup({tree.path("src/Data")});
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run was killed mid-copy";
    EXPECT_EQ(tree.read("dest/Data/disk.img"), "the previous backup");
    EXPECT_EQ(temporaryFilesBelow("dest"), 0u) << "an unnamed temporary file dies with its process";

    // Where the file system has no unnamed files, a killed run leaves a named one in the
    // destination's own folder for copies under way, which the next run empties. Names
    // beside the copies are the user's, whatever they look like, and stay.
    tree.file("dest/.stowmere-tmp/.stowmere-tmp-Ab3dE6g8", "stale");
    tree.file("dest/Data/.stowmere-tmp-Ab3dE6g8", "a user's");
    tree.file("dest/Data/.stowmere-tmp-short", "not ours");
    RecordingObserver again({true});
    const BackupResult result = run(again, {tree.path("src/Data")}, dest);
    EXPECT_EQ(result.filesCopied, 1u);
    EXPECT_FALSE(tree.exists("dest/.stowmere-tmp/.stowmere-tmp-Ab3dE6g8"));
    EXPECT_EQ(tree.read("dest/Data/.stowmere-tmp-Ab3dE6g8"), "a user's");
    EXPECT_TRUE(tree.exists("dest/Data/.stowmere-tmp-short"));
    EXPECT_EQ(fs::file_size(tree.path("dest/Data/disk.img")), kGiB);
}

TEST_F(LiveTreeTest, SecondRunIntoTheSameDestinationIsRefused)
{
    const std::string file = tree.file("src/a.txt", "a");
    const std::string dest = tree.folder("dest");
    auto held = stowmere::files::FileLock::acquire(dest + "/" + BackupEngine::kRunLockName,
                                                   std::chrono::milliseconds(0));
    ASSERT_TRUE(held);
    RecordingObserver watcher({true});

    BackupResult result = run(watcher, {file}, dest);

    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.refusal, "Another backup into " + dest + " is running.");
    EXPECT_EQ(watcher.information, std::vector<std::string>{result.refusal});
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"close", "information"}));
    EXPECT_TRUE(watcher.asked.empty()) << "no item is looked at";
    EXPECT_FALSE(tree.exists("dest/a.txt"));

    held->release();
    RecordingObserver next({true});
    result = run(next, {file}, dest);
    EXPECT_FALSE(result.refused);
    EXPECT_EQ(tree.read("dest/a.txt"), "a");
}

TEST_F(LiveTreeTest, DestinationInsideTheItemIsLeftOutOfTheWalk)
{
    tree.file("Home/a.txt", "a");
    tree.file("Home/Docs/b.txt", "b");
    const std::string dest = tree.folder("Home/Backups");
    std::vector<std::size_t> counts;
    for (int runNumber = 0; runNumber < 3; ++runNumber) {
        RecordingObserver watcher({true});
        const BackupResult result = run(watcher, {tree.path("Home")}, dest);
        EXPECT_FALSE(result.refused);
        counts.push_back(filesBelow("Home/Backups/Home"));
    }
    EXPECT_EQ(counts, (std::vector<std::size_t>{2, 2, 2}));
    EXPECT_FALSE(tree.exists("Home/Backups/Home/Backups"));
}

TEST(ItemsApartTest, DestinationEqualToOrHoldingAnItemIsRefused)
{
    TestTree tree;
    const std::string dest = tree.folder("Backups");
    const std::string inside = tree.folder("Backups/Old");
    const std::string file = tree.file("Backups/x.txt", "x");
    const std::string outside = tree.folder("Home");
    fs::create_directory_symlink(dest, tree.path("Home/link-to-backups"));
    using stowmere::backup::checkItemsApart;
    EXPECT_EQ(checkItemsApart(dest, {outside, dest}),
              "The Backup To Folder " + dest + " and the item " + dest + " lie inside each other.");
    EXPECT_EQ(checkItemsApart(dest, {inside}),
              "The Backup To Folder " + dest + " and the item " + inside + " lie inside each other.");
    EXPECT_FALSE(checkItemsApart(dest, {file}).empty());
    EXPECT_FALSE(checkItemsApart(dest, {tree.path("Home/link-to-backups")}).empty()) << "links are resolved";
    EXPECT_FALSE(checkItemsApart(dest + "/", {dest}).empty());
    // The other way round the walk leaves the destination out; a name that merely starts
    // the same is a different folder; a missing item is reported by the run itself.
    EXPECT_EQ(checkItemsApart(inside, {dest}), "");
    EXPECT_EQ(checkItemsApart(dest, {tree.folder("BackupsOld"), outside, tree.path("Backups/none")}), "");
}

TEST_F(LiveTreeTest, FallBackEditIsCopiedThoughItsLocalTimeIsEarlier)
{
    stowmere::testing::ScopedEnv zone("TZ", "America/New_York");
    ::tzset();
    // 5 November 2023: 01:40 EDT is written first, then the clocks go back and the file is
    // edited at 01:10 EST, half an hour later in truth.
    const std::time_t beforeFallBack = 1699162800; // 05:40 UTC, 01:40 EDT
    const std::time_t afterFallBack = 1699164600;  // 06:10 UTC, 01:10 EST
    ASSERT_GT(stowmere::files::packStamp(beforeFallBack), stowmere::files::packStamp(afterFallBack))
        << "local times run backwards here, which fooled the old rule";
    const std::string edited = tree.file("src/notes.txt", "after", afterFallBack);
    tree.file("dest/notes.txt", "befor", beforeFallBack);
    RecordingObserver watcher({true});

    const BackupResult result = run(watcher, {edited}, tree.path("dest"), true);
    ::unsetenv("TZ");

    EXPECT_EQ(result.filesCopied, 1u);
    EXPECT_EQ(tree.read("dest/notes.txt"), "after");
}

TEST(TimeRuleTest, UpToDateAtTheDestinationsGranularity)
{
    using stowmere::files::EntryKind;
    using stowmere::files::FileStatus;
    const auto status = [](std::time_t seconds, long nanoseconds, std::uint64_t size) {
        FileStatus result;
        result.kind = EntryKind::File;
        result.modified = {seconds, nanoseconds};
        result.size = size;
        return result;
    };
    constexpr std::int64_t kNano = 1, kSecond = 1'000'000'000, kTwoSeconds = 2 * kSecond;
    const FileStatus target = status(1000, 0, 10);
    EXPECT_TRUE(stowmere::backup::isUpToDate(target, status(1000, 0, 10), kNano));
    EXPECT_FALSE(stowmere::backup::isUpToDate(target, status(1000, 1, 10), kNano));
    EXPECT_FALSE(stowmere::backup::isUpToDate(target, status(999, 999'999'999, 10), kNano))
        << "an older source put back in place of the copy's";
    EXPECT_FALSE(stowmere::backup::isUpToDate(target, status(998, 0, 10), kTwoSeconds))
        << "older by a step of the destination's granularity";
    EXPECT_FALSE(stowmere::backup::isUpToDate(target, status(1000, 0, 11), kNano)) << "a new size";
    EXPECT_FALSE(stowmere::backup::isUpToDate(target, status(900, 0, 9), kTwoSeconds))
        << "a new size, even older";
    // FAT keeps even seconds: a copy of a source from second 1001 reads 1000.
    EXPECT_TRUE(stowmere::backup::isUpToDate(target, status(1001, 999'999'999, 10), kTwoSeconds));
    EXPECT_FALSE(stowmere::backup::isUpToDate(target, status(1002, 0, 10), kTwoSeconds));
    EXPECT_FALSE(stowmere::backup::isUpToDate(target, status(1001, 0, 10), kSecond));
    FileStatus missing;
    EXPECT_FALSE(stowmere::backup::isUpToDate(missing, status(1000, 0, 10), kNano));
    FileStatus link = target;
    link.kind = EntryKind::Other;
    EXPECT_FALSE(stowmere::backup::isUpToDate(link, status(1000, 0, 10), kNano));
}

TEST(TimeGranularityTest, ProbesWhatTheFileSystemKeeps)
{
    TestTree tree;
    tree.folder("here");
    // The work disk and tmpfs keep nanoseconds.
    EXPECT_EQ(stowmere::backup::probeTimeGranularity(tree.path("here")), 1);
    EXPECT_EQ(stowmere::backup::probeTimeGranularity(tree.path("missing")), 1)
        << "unknown: copy rather than skip";
    std::size_t left = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(tree.path("here")))
        ++left;
    EXPECT_EQ(left, 0u) << "the probe leaves nothing behind";
}

TEST_F(LiveTreeTest, FatDestinationKeepsTwoSecondTimesAndListsLinksWithoutStopping)
{
    TestMount fat(TestMount::Kind::Fat, 16 * kMiB);
    if (!fat.mounted())
        GTEST_SKIP() << fat.why();
    EXPECT_EQ(stowmere::backup::probeTimeGranularity(fat.path()), 2'000'000'000);
    tree.file("src/Data/odd.txt", "odd second", 1600000001);
    tree.file("src/Data/Sub/even.txt", "even second", 1600000002);
    ::chmod(tree.path("src/Data/odd.txt").c_str(), 0664);
    fs::create_symlink("odd.txt", tree.path("src/Data/link"));
    RecordingObserver watcher({true});

    BackupResult result = run(watcher, {tree.path("src/Data")}, fat.path(), true);

    EXPECT_FALSE(result.copyFailed) << (watcher.errors.empty() ? "" : watcher.errors[0]);
    EXPECT_EQ(result.filesCopied, 2u);
    ASSERT_EQ(result.notBackedUpCount, 1u);
    EXPECT_EQ(result.notBackedUp[0].path, tree.path("src/Data/link"));
    EXPECT_EQ(result.notBackedUp[0].reason, "links cannot be stored on this drive");
    EXPECT_EQ(stowmere::testing::readText(fat.path() + "/Data/odd.txt"), "odd second");
    EXPECT_EQ(stowmere::testing::readText(fat.path() + "/Data/Sub/even.txt"), "even second");

    // The odd second was cut to an even one, which must not count as a change.
    RecordingObserver again({true});
    result = run(again, {tree.path("src/Data")}, fat.path(), true);
    EXPECT_EQ(result.filesCopied, 0u);
    EXPECT_FALSE(result.copyFailed);
}
