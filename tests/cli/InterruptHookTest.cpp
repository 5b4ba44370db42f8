// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM reaching a run at the two places where it can take long: while the
// folder list of a large tree is built, and half-way through a large file. The signal is
// raised from the run's own progress reports, so the place is exact.
#include "backup/BackupEngine.h"
#include "cli/BackupExitCode.h"
#include "cli/InterruptGuard.h"

#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <unistd.h>

using stowmere::cli::ExitCode;
using stowmere::testing::TestTree;

namespace {

class HookObserver : public stowmere::backup::BackupObserver {
public:
    bool isItemChecked(std::size_t) override { return true; }
    void uncheckItem(std::size_t) override {}
    void fileCopied(std::uint64_t) override { ++copied; }
    void itemDone() override {}
    void showError(const std::string& text) override { errors.push_back(text); }
    void closeProgress() override {}
    void copyProgress(const std::string& source, std::uint64_t done, std::uint64_t size) override
    {
        if (onProgress)
            onProgress(source, done, size);
    }
    void foldersListed(std::size_t count) override
    {
        listed = count;
        if (onListed)
            onListed(count);
    }

    std::function<void(const std::string&, std::uint64_t, std::uint64_t)> onProgress;
    std::function<void(std::size_t)> onListed;
    std::uint64_t copied = 0;
    std::size_t listed = 0;
    std::vector<std::string> errors;
};

struct Outcome {
    stowmere::backup::BackupResult result;
    int signal = 0;
};

Outcome runGuarded(const std::vector<std::string>& items, const std::string& dest, HookObserver& observer)
{
    std::atomic<bool> cancel{false};
    stowmere::cli::InterruptGuard guard(cancel, false);
    stowmere::backup::BackupSettings settings;
    settings.destination = dest;
    Outcome outcome;
    outcome.result = stowmere::backup::runBackup(settings, items, observer, cancel);
    outcome.signal = guard.receivedSignal();
    return outcome;
}

std::size_t entriesBelow(const std::string& folder)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        ++count;
    return count;
}

class InterruptHook : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(InterruptHook, SignalDuringTheWalkEndsTheRunAtTheNextFolder)
{
    const int signalNumber = GetParam();
    TestTree temp{"cli"};
    for (int i = 0; i < 300; ++i)
        temp.folder("src/Tree/F" + std::to_string(i % 10) + "/S" + std::to_string(i));
    temp.file("src/Tree/F3/S3/f.txt", "f");
    const std::string dest = temp.folder("dest");
    HookObserver observer;
    observer.onListed = [&](std::size_t count) {
        if (count == 100)
            ::raise(signalNumber);
    };

    const Outcome outcome = runGuarded({temp.path("src/Tree")}, dest, observer);

    EXPECT_EQ(outcome.signal, signalNumber);
    EXPECT_EQ(stowmere::cli::backupExitCode(outcome.result, outcome.signal),
              signalNumber == SIGTERM ? ExitCode::Terminated : ExitCode::Interrupted);
    EXPECT_EQ(observer.listed, 100u) << "the walk stopped at the next folder";
    // Folders are copied as the walk hands them over: the 99 before the one reached when
    // the signal came are made, and only those (the one file among them copied).
    const bool fileReached = std::filesystem::exists(dest + "/Tree/F3/S3");
    // The manifest's journal comes with the first copy.
    EXPECT_EQ(temp.names("dest"), fileReached ? (std::vector<std::string>{".stowmere-manifest.journal",
                                                                          ".stowmere-run.lock", "Tree"})
                                              : (std::vector<std::string>{".stowmere-run.lock", "Tree"}));
    EXPECT_EQ(observer.copied, fileReached ? 1u : 0u);
    EXPECT_EQ(entriesBelow(dest + "/Tree") - observer.copied, 98u);
}

TEST_P(InterruptHook, SignalHalfWayThroughAGigabyteFileAbandonsItAndKeepsTheOldCopy)
{
    const int signalNumber = GetParam();
    TestTree temp{"cli"};
    // A gigabyte with a mebibyte of data every 16: long enough to take many chunks, quick
    // to make.
    const std::string big = temp.file("src/Data/disk.img", "");
    {
        const int fd = ::open(big.c_str(), O_WRONLY | O_CLOEXEC);
        const std::string block(1 << 20, 'd');
        for (std::uint64_t at = 0; at < (std::uint64_t{1} << 30); at += std::uint64_t{16} << 20)
            ASSERT_EQ(::pwrite(fd, block.data(), block.size(), static_cast<off_t>(at)), 1 << 20);
        ::close(fd);
    }
    temp.file("src/Data/z.txt", "after");
    const std::string dest = temp.folder("dest");
    temp.file("dest/Data/disk.img", "the previous backup");
    HookObserver observer;
    observer.onProgress = [&](const std::string& source, std::uint64_t done, std::uint64_t size) {
        if (source == big && done >= size / 2)
            ::raise(signalNumber);
    };

    const Outcome outcome = runGuarded({temp.path("src/Data")}, dest, observer);

    EXPECT_EQ(outcome.signal, signalNumber);
    EXPECT_TRUE(outcome.result.cancelled);
    EXPECT_EQ(stowmere::cli::backupExitCode(outcome.result, outcome.signal),
              signalNumber == SIGTERM ? ExitCode::Terminated : ExitCode::Interrupted);
    EXPECT_EQ(temp.read("dest/Data/disk.img"), "the previous backup");
    // The run's second copying thread may have copied the small file while the large one
    // was going: then it is complete and reported.
    const bool smallCopied = std::filesystem::exists(dest + "/Data/z.txt");
    if (smallCopied) {
        EXPECT_EQ(temp.read("dest/Data/z.txt"), "after");
    }
    EXPECT_EQ(outcome.result.filesCopied, smallCopied ? 1u : 0u);
    EXPECT_EQ(entriesBelow(dest), smallCopied ? 5u : 3u)
        << "the lock file, Data and the old copy, and the small "
           "file and its record only when it was copied";
    EXPECT_TRUE(observer.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(IntAndTerm, InterruptHook, ::testing::Values(SIGINT, SIGTERM));
