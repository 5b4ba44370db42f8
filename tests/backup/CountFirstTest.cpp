// SPDX-License-Identifier: GPL-3.0-or-later
// A run that counts what it will copy before it copies: the totals it tells, the question
// when they do not fit, items checked or unchecked during the run, and the bytes copied.
#include "backup/BackupEngine.h"
#include "backup/FailureReport.h"
#include "backup/SpaceCheck.h"

#include "RecordingObserver.h"
#include "support/TestMount.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestMount;
using stowmere::testing::TestTree;

namespace {

class CountFirstTest : public ::testing::Test {
protected:
    BackupResult run(RecordingObserver& observer, const std::vector<std::string>& items,
                     bool incremental = false, const std::string& dest = {})
    {
        BackupSettings settings;
        settings.destination = dest.empty() ? tree.path("dest") : dest;
        settings.incremental = incremental;
        settings.countFirst = true;
        std::atomic<bool> cancel{false};
        return BackupEngine(settings, observer, cancel).runBackup(items);
    }

    static std::size_t entriesBelow(const std::string& folder)
    {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            count += entry.path().filename() != BackupEngine::kRunLockName ? 1 : 0;
        return count;
    }

    TestTree tree;
};

} // namespace

TEST_F(CountFirstTest, TheTotalsAreToldBeforeTheFirstCopyAndMatchWhatIsCopied)
{
    tree.file("src/a.txt", std::string(1000, 'a'), 1'600'000'000);
    tree.file("src/sub/b.txt", std::string(5000, 'b'), 1'600'000'000);
    tree.file("src/sub/same.txt", "same", 1'600'000'000);
    const std::string single = tree.file("single.txt", "123456789");
    tree.folder("dest");
    RecordingObserver first({true, true});
    run(first, {tree.path("src"), single});
    ASSERT_EQ(first.totals.size(), 1u);
    EXPECT_EQ(first.totals[0].files, 4u);
    EXPECT_EQ(first.totals[0].bytes, 1000u + 5000u + 4u + 9u);
    EXPECT_TRUE(first.totals[0].complete);
    EXPECT_GE(first.totals[0].neededBytes, 6013u);
    EXPECT_EQ(first.counter, 4u);
    // Told once a copy is complete, cumulative, ending at the counted total.
    ASSERT_EQ(first.bytesTold.size(), 4u);
    EXPECT_EQ(first.bytesTold.back(), 6013u);
    EXPECT_EQ(first.copiedBeforeBytes, (std::vector<std::uint64_t>{0, 1, 2, 3}));
    EXPECT_TRUE(std::is_sorted(first.bytesTold.begin(), first.bytesTold.end()));
    // The count writes nothing the run would not.
    EXPECT_EQ(first.spaceQuestions.size(), 0u);

    // Incremental: only what changed is counted, and nothing the copies replace is needed.
    tree.file("src/sub/b.txt", std::string(5000, 'B'), 1'700'000'000);
    RecordingObserver second({true, true});
    const BackupResult result = run(second, {tree.path("src"), single}, true);
    ASSERT_EQ(second.totals.size(), 1u);
    EXPECT_EQ(second.totals[0].files, 1u);
    EXPECT_EQ(second.totals[0].bytes, 5000u);
    EXPECT_EQ(second.totals[0].neededBytes, 0u);
    EXPECT_EQ(result.filesCopied, 1u);
    EXPECT_EQ(result.bytesCopied, 5000u);
    EXPECT_EQ(result.totals.files, 1u);
}

TEST_F(CountFirstTest, ItemsCheckedOrUncheckedDuringTheRunChangeTheTotalsWhenReached)
{
    const std::string one = tree.file("one.txt", std::string(100, '1'));
    const std::string two = tree.file("two/x.txt", std::string(200, '2'));
    const std::string three = tree.file("three.txt", std::string(300, '3'));
    tree.folder("dest");
    RecordingObserver observer({true, false, true});
    // While the first item is copied, the user checks the second and unchecks the third.
    observer.onItemDone = [&](int steps) {
        if (steps == 1) {
            observer.checks[1] = true;
            observer.checks[2] = false;
        }
    };
    const BackupResult result = run(observer, {one, tree.path("two"), three});
    ASSERT_EQ(observer.totals.size(), 3u);
    EXPECT_EQ(observer.totals[0].files, 2u);
    EXPECT_EQ(observer.totals[0].bytes, 400u);
    EXPECT_EQ(observer.totals[1].bytes, 600u);        // the second item joined
    EXPECT_EQ(observer.totals[2].bytes, 200u + 100u); // the third left
    EXPECT_EQ(observer.totals[2].files, 2u);
    EXPECT_EQ(result.filesCopied, 2u);
    EXPECT_EQ(result.bytesCopied, 300u);
    EXPECT_EQ(observer.started, (std::vector<std::size_t>{0, 1}));
}

TEST_F(CountFirstTest, CopiesThatDoNotFitAreStartedOnlyWhenTheObserverSaysSo)
{
    TestMount disk(TestMount::Kind::Tmpfs, 256 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    const std::string big = tree.file("src/big.bin", std::string(600 * 1024, 'x'));

    RecordingObserver refusing({true});
    refusing.startAnyway = false;
    const BackupResult refused = run(refusing, {tree.path("src")}, false, disk.path());
    ASSERT_EQ(refusing.spaceQuestions.size(), 1u);
    EXPECT_GE(refusing.spaceQuestions[0].needed, 600u * 1024);
    EXPECT_EQ(refusing.spaceQuestions[0].free, stowmere::backup::freeSpaceOf(disk.path()));
    EXPECT_EQ(refusing.spaceQuestions[0].folder, disk.path());
    EXPECT_TRUE(refused.refused);
    EXPECT_TRUE(refused.refusedForSpace);
    EXPECT_EQ(refused.refusal,
              stowmere::backup::notEnoughSpaceLine(refusing.spaceQuestions[0].needed,
                                                   refusing.spaceQuestions[0].free, disk.path()));
    EXPECT_EQ(entriesBelow(disk.path()), 0u);
    EXPECT_TRUE(refusing.errors.empty());
    EXPECT_TRUE(refusing.started.empty());
    EXPECT_EQ(refusing.closes, 1);

    // Yes: the run goes and stops at the full disk with its failure box.
    RecordingObserver starting({true});
    const BackupResult failed = run(starting, {tree.path("src")}, false, disk.path());
    EXPECT_EQ(starting.spaceQuestions.size(), 1u);
    EXPECT_TRUE(failed.copyFailed);
    EXPECT_EQ(failed.failedFile, big);
    EXPECT_EQ(failed.bytesCopied, 0u); // the cut-off copy counts nothing
    ASSERT_EQ(starting.errors.size(), 1u);
    EXPECT_TRUE(starting.bytesTold.empty());
}

TEST_F(CountFirstTest, ACancelDuringTheCountStopsTheRunWithNothingCopied)
{
    for (int i = 0; i < 5000; ++i)
        tree.file("src/f" + std::to_string(i), "x");
    tree.folder("dest");
    RecordingObserver observer({true});
    std::atomic<bool> cancel{false};
    // The count tells its running totals as it goes; the user cancels at the first.
    observer.onTotals = [&](const stowmere::backup::RunTotals& totals) {
        if (!totals.complete)
            cancel = true;
    };
    BackupSettings settings;
    settings.destination = tree.path("dest");
    settings.countFirst = true;
    const BackupResult result = BackupEngine(settings, observer, cancel).runBackup({tree.path("src")});
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.filesCopied, 0u);
    EXPECT_EQ(entriesBelow(tree.path("dest")), 0u);
    EXPECT_TRUE(observer.started.empty());
}

TEST_F(CountFirstTest, RunningTotalsOfAnIncrementalCountLeaveOutFilesThatAreUpToDate)
{
    for (int i = 0; i < 5000; ++i)
        tree.file("src/f" + std::to_string(i), "x", 1'600'000'000);
    tree.folder("dest");
    RecordingObserver first({true});
    run(first, {tree.path("src")}, true);
    tree.file("src/new.txt", "new");

    RecordingObserver second({true});
    const BackupResult result = run(second, {tree.path("src")}, true);

    EXPECT_EQ(result.filesCopied, 1u);
    ASSERT_FALSE(second.totals.empty());
    for (const stowmere::backup::RunTotals& totals : second.totals)
        EXPECT_LE(totals.files, 1u) << "a running total counts only what the run will copy";
    EXPECT_EQ(second.totals.back().files, 1u);
    EXPECT_EQ(second.totals.back().bytes, 3u);
}

TEST_F(CountFirstTest, CopiesSurelyFitOnlyWhenTheirVolumesHoldLessThanIsFree)
{
    TestMount small(TestMount::Kind::Tmpfs, 256 * 1024);
    TestMount sources(TestMount::Kind::Tmpfs, 64 * 1024 * 1024);
    if (!small.mounted() || !sources.mounted())
        GTEST_SKIP() << small.why();
    const std::string file = sources.path() + "/a.txt";
    std::ofstream(file) << "a";
    // A nearly empty volume into the large work disk: whatever it holds fits.
    EXPECT_TRUE(
        stowmere::backup::copiesSurelyFit(tree.path("."), {sources.path(), file, tree.path("missing")}));
    // The work disk holds more than the small volume has free: that has to be counted.
    EXPECT_FALSE(stowmere::backup::copiesSurelyFit(small.path(), {tree.path(".")}));
    // A volume mounted inside a folder item is part of it.
    EXPECT_TRUE(stowmere::backup::copiesSurelyFit(small.path(), {sources.path()}));
    const std::string inner = sources.path() + "/inner";
    std::filesystem::create_directories(inner);
    ASSERT_EQ(std::system(("mount -t tmpfs -o size=1m stowmere-test '" + inner + "'").c_str()), 0);
    std::ofstream(inner + "/big.bin") << std::string(512 * 1024, 'x');
    EXPECT_FALSE(stowmere::backup::copiesSurelyFit(small.path(), {sources.path()}));
    std::system(("umount '" + inner + "'").c_str());
}
