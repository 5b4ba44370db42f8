// SPDX-License-Identifier: GPL-3.0-or-later
// A full copy shares the small files of each folder between two threads: what is told, and
// in which order, must not show it, a large file still reports live, and a full disk or a
// cancel leaves exactly the copies the run reported.

#include "backup/BackupEngine.h"

#include "RecordingObserver.h"
#include "support/FileContents.h"
#include "support/TestMount.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestMount;
using stowmere::testing::TestTree;

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

std::string contentsOf(int i, std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t at = 0; at < size; ++at)
        text[at] = static_cast<char>('a' + (static_cast<std::size_t>(i) * 7 + at) % 26);
    return text;
}

BackupSettings settingsFor(const std::string& dest, bool parallel)
{
    BackupSettings settings;
    settings.destination = dest;
    settings.parallelScan = parallel;
    settings.parallelCopy = parallel;
    return settings;
}

/// The plain files below folder (the run's lock file left out), relative to it.
std::vector<std::string> filesBelow(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename() != BackupEngine::kRunLockName &&
            !entry.path().filename().string().starts_with(".stowmere-manifest"))
            names.push_back(entry.path().lexically_relative(folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t threadCount()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

/// Waits for the threads of a run to leave the task list, which they do a moment after
/// they are joined; the bound only keeps a leaked thread from hanging the test.
void expectThreadsGone(std::size_t before)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (threadCount() != before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(threadCount(), before) << "the run's threads are gone";
}

class SharedCopyTest : public ::testing::Test {
protected:
    TestTree tree{"shared"};
};

} // namespace

TEST_F(SharedCopyTest, LargeFilesAmongSmallOnesReportLiveAndEveryCallComesInTheOrderOfOneThread)
{
    const std::string source = tree.folder("src/Data");
    for (int i = 0; i < 300; ++i)
        tree.file("src/Data/Mixed/s" + std::to_string(i), contentsOf(i, 10 + static_cast<std::size_t>(i)));
    tree.file("src/Data/Mixed/big.bin", contentsOf(1, 9 * kMiB));
    tree.file("src/Data/Mixed/empty", "");
    fs::create_symlink("s1", source + "/Mixed/link");

    std::vector<std::string> logs;
    for (const bool parallel : {false, true}) {
        const std::string dest = tree.folder(parallel ? "dest-parallel" : "dest-inline");
        RecordingObserver watcher({true});
        std::vector<std::string> progress;
        bool liveBig = true;
        watcher.onCopyProgress = [&](const std::string& path, std::uint64_t done, std::uint64_t size) {
            progress.push_back(path.substr(source.size()) + " " + std::to_string(done) + "/" +
                               std::to_string(size));
            // A live report comes while the copy is going on: the file has no name yet.
            if (path.ends_with("/big.bin") && fs::exists(dest + "/Data/Mixed/big.bin"))
                liveBig = false;
        };
        std::atomic<bool> cancel{false};
        const BackupResult result =
            BackupEngine(settingsFor(dest, parallel), watcher, cancel).runBackup({source});

        EXPECT_TRUE(liveBig) << "the large file's progress is told while it is copied";
        EXPECT_EQ(result.filesCopied, 303u);
        EXPECT_TRUE(watcher.errors.empty());
        EXPECT_EQ(stowmere::testing::readText(dest + "/Data/Mixed/big.bin"), contentsOf(1, 9 * kMiB));
        EXPECT_EQ(fs::read_symlink(dest + "/Data/Mixed/link"), "s1");
        std::string log;
        for (const std::vector<std::string>* part :
             {&watcher.sources, &watcher.targets, &watcher.events, &progress})
            for (const std::string& line : *part)
                log += line + "\n";
        for (const std::uint64_t bytes : watcher.bytesTold)
            log += std::to_string(bytes) + "\n";
        for (std::size_t at = log.find(dest); at != std::string::npos; at = log.find(dest, at))
            log.replace(at, dest.size(), "<dest>");
        logs.push_back(log);
    }
    EXPECT_EQ(logs[1], logs[0]);
    EXPECT_NE(logs[0].find("/Mixed/big.bin 4194304/9437184\n"), std::string::npos) << logs[0];
}

TEST_F(SharedCopyTest, FullDiskStopsTheRunOnceAndLeavesOnlyTheCopiesItReported)
{
    TestMount small(TestMount::Kind::Tmpfs, 2 * kMiB);
    if (!small.mounted())
        GTEST_SKIP() << small.why();
    constexpr int kFiles = 400; // 400 x 12 KiB: far more than the disk holds
    for (int i = 0; i < kFiles; ++i)
        tree.file("src/Data/f" + std::to_string(i), contentsOf(i, 12 * 1024));
    RecordingObserver watcher({true});
    std::atomic<bool> cancel{false};

    const BackupResult result =
        BackupEngine(settingsFor(small.path(), true), watcher, cancel).runBackup({tree.path("src/Data")});

    EXPECT_TRUE(result.copyFailed);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.failureReason, "No space left on device");
    EXPECT_EQ(watcher.errors.size(), 1u) << "one failure box, whichever thread met the full disk first";
    const std::vector<std::string> copies = filesBelow(small.path());
    EXPECT_GT(copies.size(), 0u);
    EXPECT_EQ(copies.size(), result.filesCopied) << "every copy on the disk was reported, and no other";
    for (const std::string& name : copies) {
        EXPECT_FALSE(name.find(".stowmere-tmp-") != std::string::npos) << name;
        const int i = std::stoi(fs::path(name).filename().string().substr(1));
        EXPECT_EQ(stowmere::testing::readText(small.path() + "/" + name), contentsOf(i, 12 * 1024)) << name;
    }
}

TEST_F(SharedCopyTest, CancelInAFolderEndsBothThreadsAndLeavesOnlyReportedCompleteCopies)
{
    constexpr int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i)
        tree.file("src/Data/f" + std::to_string(i), contentsOf(i, 50));
    const std::string dest = tree.folder("dest");
    const std::size_t before = threadCount();
    RecordingObserver watcher({true});
    std::atomic<bool> cancel{false};
    watcher.onFileCopied = [&cancel](std::uint64_t count) {
        if (count == 100)
            cancel = true;
    };
    auto running = std::async(std::launch::async, [&] {
        return BackupEngine(settingsFor(dest, true), watcher, cancel).runBackup({tree.path("src/Data")});
    });
    // The time-out only keeps a hang from stopping the suite.
    ASSERT_EQ(running.wait_for(std::chrono::seconds(120)), std::future_status::ready) << "the run hangs";
    const BackupResult result = running.get();

    EXPECT_TRUE(result.cancelled);
    EXPECT_GE(result.filesCopied, 100u);
    EXPECT_LT(result.filesCopied, static_cast<std::uint64_t>(kFiles)) << "the cancel stopped the copy";
    const std::vector<std::string> copies = filesBelow(dest);
    EXPECT_EQ(copies.size(), result.filesCopied) << "a copy the other thread made is reported too";
    for (const std::string& name : copies) {
        const int i = std::stoi(fs::path(name).filename().string().substr(1));
        EXPECT_EQ(stowmere::testing::readText(dest + "/" + name), contentsOf(i, 50)) << name;
    }
    expectThreadsGone(before);
}
