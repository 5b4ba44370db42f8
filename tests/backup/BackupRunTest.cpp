// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"
#include "backup/FailureReport.h"

#include "RecordingObserver.h"
#include "support/LocalTime.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

class BackupRunTest : public ::testing::Test {
protected:
    BackupResult run(const std::vector<std::string>& items, const std::string& destination,
                     bool incremental = false, std::int32_t keepVersions = 0)
    {
        BackupSettings settings;
        settings.destination = destination;
        settings.incremental = incremental;
        settings.keepVersions = keepVersions;
        cancel = false;
        return BackupEngine(settings, *observer, cancel).runBackup(items);
    }
    RecordingObserver& watch(std::vector<bool> checks)
    {
        observer = std::make_unique<RecordingObserver>(std::move(checks));
        return *observer;
    }

    TestTree tree;
    std::unique_ptr<RecordingObserver> observer;
    std::atomic<bool> cancel{false};
};

} // namespace

TEST_F(BackupRunTest, FileItemsGoStraightIntoDestinationWithTrailingSeparatorRemoved)
{
    const std::string a = tree.file("src/one/x.txt", "first");
    const std::string b = tree.file("src/two/x.txt", "second");
    const std::string c = tree.file("src/README", "no extension");
    tree.folder("dest");
    auto& watcher = watch({true, true, true});

    const BackupResult result = run({a, b, c}, tree.path("dest") + "/");

    EXPECT_EQ(tree.read("dest/x.txt"), "second") << "the later of two items with one name wins";
    EXPECT_EQ(tree.read("dest/README"), "no extension") << "a file without extension is still a file";
    EXPECT_EQ(watcher.targets.front(), tree.path("dest/x.txt")) << "no doubled separator";
    EXPECT_EQ(result.filesCopied, 3u);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(watcher.events,
              (std::vector<std::string>{"copied 1", "step", "uncheck 0", "uncheck 0", "copied 2", "step",
                                        "uncheck 1", "uncheck 1", "copied 3", "step", "uncheck 2", "close"}));
    EXPECT_EQ(watcher.completions, 1) << "a run that went through says so before it closes";
    EXPECT_EQ(watcher.checks, (std::vector<bool>{false, false, false}));
}

TEST_F(BackupRunTest, SameNameIncrementallyTheLaterItemWinsAndTheOtherIsKept)
{
    // A copy whose time differs from its source's either way is copied again: the later
    // item of the same name takes the place, the earlier copy goes into the versions.
    const std::time_t base = stowmere::testing::localTime(2024, 5, 1, 12, 0, 0);
    const std::string newer = tree.file("src/one/x.txt", "newer", base + 100);
    const std::string older = tree.file("src/two/x.txt", "older", base);
    tree.folder("dest");
    watch({true, true});

    const BackupResult result = run({newer, older}, tree.path("dest"), true, 5);

    EXPECT_EQ(tree.read("dest/x.txt"), "older");
    EXPECT_EQ(result.filesCopied, 2u);
    const std::vector<std::string> runs = tree.names("dest/.stowmere-versions");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(tree.read("dest/.stowmere-versions/" + runs[0] + "/x.txt"), "newer");
}

TEST_F(BackupRunTest, RootAsDestinationHoldsEveryItemSoNothingIsCopiedIntoIt)
{
    BackupSettings settings;
    settings.destination = "/";
    RecordingObserver watcher({});
    EXPECT_EQ(BackupEngine(settings, watcher, cancel).destination(), "");
    if (::access("/", W_OK) != 0)
        GTEST_SKIP() << "the root folder is not writable here";

    const std::string lock = std::string("/") + BackupEngine::kRunLockName;
    const bool lockThere = ::access(lock.c_str(), F_OK) == 0;
    const std::string name = "stowmere-root-test-" + std::to_string(::getpid()) + ".txt";
    const std::string source = tree.file(name, "at the root");
    auto& observed = watch({true});
    run({source}, "/");
    if (!lockThere)
        ::unlink(lock.c_str());
    const std::string target = "/" + name;
    const bool copied = ::access(target.c_str(), F_OK) == 0;
    ::unlink(target.c_str());
    EXPECT_FALSE(copied);
    EXPECT_TRUE(observed.targets.empty());
    EXPECT_EQ(observed.information, std::vector<std::string>{"The Backup To Folder / and the item " + source +
                                                             " lie inside each other."});
}

TEST_F(BackupRunTest, FolderWithDotInNameIsCopiedAsFolderTree)
{
    tree.file("src/My.Data/a.txt", "a");
    tree.file("src/.config/app/settings", "s");
    tree.folder("dest");
    watch({true, true});

    const BackupResult result = run({tree.path("src/My.Data"), tree.path("src/.config")}, tree.path("dest"));

    EXPECT_EQ(tree.read("dest/My.Data/a.txt"), "a");
    EXPECT_EQ(tree.read("dest/.config/app/settings"), "s");
    EXPECT_EQ(result.filesCopied, 2u) << "the counter counts files, not items";
    EXPECT_EQ(observer->counter, 2u);
}

TEST_F(BackupRunTest, ItemEndingWithSeparatorCopiesItsContentsStraightIntoDestination)
{
    tree.file("src/Data/top.txt", "t");
    tree.file("src/Data/Sub/deep.txt", "d");
    tree.folder("dest");
    watch({true});

    run({tree.path("src/Data") + "/"}, tree.path("dest"));

    EXPECT_EQ(tree.read("dest/top.txt"), "t");
    EXPECT_EQ(tree.read("dest/Sub/deep.txt"), "d");
    EXPECT_FALSE(tree.exists("dest/Data"));
}

TEST_F(BackupRunTest, UncheckedItemsAreNotTouchedAndLateChecksJoinTheRun)
{
    const std::string a = tree.file("src/a.txt", "a");
    const std::string b = tree.file("src/b.txt", "b");
    const std::string c = tree.file("src/c.txt", "c");
    tree.folder("dest");
    auto& watcher = watch({true, false, false});
    // The user checks c while a is being copied.
    watcher.onItemDone = [&watcher](int step) {
        if (step == 1)
            watcher.checks[2] = true;
    };

    run({a, b, c}, tree.path("dest"));

    EXPECT_TRUE(tree.exists("dest/a.txt"));
    EXPECT_FALSE(tree.exists("dest/b.txt"));
    EXPECT_TRUE(tree.exists("dest/c.txt"));
    EXPECT_EQ(watcher.steps, 2);
}

TEST_F(BackupRunTest, MissingItemsStepTheBarAreUncheckedAndListedOnceAtTheEnd)
{
    const std::string present = tree.file("src/a.txt", "a");
    const std::string gone = tree.path("src/gone.txt");
    const std::string goneFolder = tree.path("src/GoneFolder");
    tree.folder("dest");
    ASSERT_EQ(::mkfifo(tree.path("src/pipe").c_str(), 0600), 0);
    auto& watcher = watch({true, true, true, true});

    const BackupResult result = run({gone, present, goneFolder, tree.path("src/pipe")}, tree.path("dest"));

    EXPECT_EQ(watcher.steps, 4);
    EXPECT_EQ(watcher.checks, (std::vector<bool>{false, false, false, false}));
    ASSERT_EQ(watcher.errors.size(), 1u);
    EXPECT_EQ(watcher.errors[0], "These items were not found and were not backed up:\r\n" + gone + "\r\n" +
                                     goneFolder + "\r\n" + tree.path("src/pipe"));
    EXPECT_EQ(watcher.events.back(), "error") << "the list comes after the progress display closed";
    EXPECT_EQ(result.missingItems.size(), 3u);
    EXPECT_FALSE(tree.exists("dest/pipe"));
}

TEST_F(BackupRunTest, IncrementalRunOverNewerTargetsCopiesThemAgainAndFinishesTheBar)
{
    const std::time_t base = stowmere::testing::localTime(2023, 3, 4, 10, 20, 30);
    const std::string file = tree.file("src/a.txt", "new!", base);
    tree.file("src/Data/b.txt", "new!", base);
    tree.folder("src/Data/Empty");
    tree.file("dest/a.txt", "kept", base + 10);
    tree.file("dest/Data/b.txt", "kept", base + 10);
    auto& watcher = watch({true, true});

    const BackupResult result = run({file, tree.path("src/Data")}, tree.path("dest"), true);

    // Copies newer than their sources are no longer the sources' copies (an older file was
    // put back): both are copied again.
    EXPECT_EQ(result.filesCopied, 2u);
    EXPECT_EQ(watcher.counter, 2u);
    EXPECT_EQ(watcher.steps, 2);
    EXPECT_EQ(tree.read("dest/a.txt"), "new!");
    EXPECT_EQ(tree.read("dest/Data/b.txt"), "new!");
    EXPECT_TRUE(std::filesystem::is_directory(tree.path("dest/Data/Empty")))
        << "missing folders are still made";
}

TEST_F(BackupRunTest, IncrementalRunCopiesEveryRealChangeAndKeepsWhatIsTheSame)
{
    const std::time_t base = stowmere::testing::localTime(2022, 8, 9, 7, 6, 4);
    // Within the same two seconds, one second later, with a new size.
    const std::string later = tree.file("src/later.txt", "edited", base + 1);
    tree.file("dest/later.txt", "old", base);
    // The same time to the nanosecond, but a new size.
    const std::string sameTime = tree.file("src/sametime.txt", "longer now", base);
    tree.file("dest/sametime.txt", "short", base);
    // Nanoseconds newer on a destination that keeps nanoseconds.
    const std::string nanos = tree.file("src/nanos.txt", "abc", base);
    tree.setModified("src/nanos.txt", base, 500);
    tree.file("dest/nanos.txt", "xyz", base);
    const std::string same = tree.file("src/same.txt", "src", base);
    tree.file("dest/same.txt", "old", base);
    const std::string absent = tree.file("src/absent.txt", "src", base);
    watch({true, true, true, true, true});

    const BackupResult result = run({later, sameTime, nanos, same, absent}, tree.path("dest"), true);

    EXPECT_EQ(tree.read("dest/later.txt"), "edited");
    EXPECT_EQ(tree.read("dest/sametime.txt"), "longer now");
    EXPECT_EQ(tree.read("dest/nanos.txt"), "abc");
    EXPECT_EQ(tree.read("dest/same.txt"), "old") << "same size and time: up to date";
    EXPECT_EQ(tree.read("dest/absent.txt"), "src");
    EXPECT_EQ(result.filesCopied, 4u);
}

TEST_F(BackupRunTest, IncrementalRunRecopiesTargetWhoseTimeCannotBePacked)
{
    const std::string source =
        tree.file("src/a.txt", "new", stowmere::testing::localTime(2020, 1, 1, 0, 0, 0));
    tree.file("dest/a.txt", "stale", stowmere::testing::localTime(1975, 1, 1, 0, 0, 0));
    watch({true});

    run({source}, tree.path("dest"), true);

    EXPECT_EQ(tree.read("dest/a.txt"), "new");
}

TEST_F(BackupRunTest, CancelDuringFolderCopyStopsAfterTheCurrentFileWithoutPause)
{
    // One file in the item folder: with more, the second copying thread may have copied
    // another before the cancel, which is then reported too.
    tree.file("src/Data/a.txt", "a");
    tree.file("src/Data/Sub/c.txt", "c");
    tree.folder("src/Data/Other");
    const std::string later = tree.file("src/later.txt", "l");
    tree.folder("dest");
    auto& watcher = watch({true, true});
    watcher.onFileCopied = [this](std::uint64_t) { cancel = true; };

    const BackupResult result = run({tree.path("src/Data"), later}, tree.path("dest"));

    EXPECT_EQ(result.filesCopied, 1u);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(tree.exists("dest/Data/Sub"));
    EXPECT_FALSE(tree.exists("dest/Data/Other"));
    EXPECT_FALSE(tree.exists("dest/later.txt"));
    EXPECT_EQ(watcher.checks, (std::vector<bool>{true, true})) << "the cancelled item stays checked";
    EXPECT_EQ(watcher.asked, std::vector<std::size_t>{0}) << "no later item is looked at";
    EXPECT_EQ(watcher.completions, 0);
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"copied 1", "step", "close"}));
}

TEST_F(BackupRunTest, FailedCopyShowsOneBoxSetsCancelAndEndsTheRunAfterTheItem)
{
    tree.file("src/Data/a.txt", "a");
    tree.file("src/Data/b.txt", "b");
    const std::string later = tree.file("src/later.txt", "l");
    // A regular file where the item's folder should be made, which cannot be kept aside as
    // a version (a file stands where the versions folder goes): every copy into it fails.
    tree.file("dest/Data", "in the way");
    tree.file("dest/.stowmere-versions", "in the way too");
    auto& watcher = watch({true, true});

    const BackupResult result = run({tree.path("src/Data"), later}, tree.path("dest"), false, 5);

    ASSERT_EQ(watcher.errors.size(), 1u);
    // The folder that cannot be made stops the run at once, naming it and why.
    EXPECT_TRUE(watcher.errors[0].starts_with("Could not backup file: " + tree.path("src/Data") + "\r\n"))
        << watcher.errors[0];
    EXPECT_TRUE(watcher.errors[0].ends_with("rights.\r\n\r\nReason: File exists")) << watcher.errors[0];
    EXPECT_TRUE(cancel);
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(result.copyFailed);
    EXPECT_FALSE(result.failureReason.empty());
    EXPECT_EQ(result.filesCopied, 0u);
    EXPECT_FALSE(tree.exists("dest/later.txt"));
    EXPECT_EQ(tree.read("dest/Data"), "in the way");
    EXPECT_EQ(tree.countStartingWith("dest", ".stowmere-tmp-"), 0u);
    EXPECT_EQ(watcher.completions, 0);
}

namespace {

// Fails the bar step of the first item, as an unexpected error inside one item would.
class FailingStepObserver : public RecordingObserver {
public:
    using RecordingObserver::RecordingObserver;
    void itemDone() override
    {
        RecordingObserver::itemDone();
        if (steps == 1)
            throw std::runtime_error("bar broke");
    }
};

} // namespace

TEST_F(BackupRunTest, ErrorInsideOneItemIsShownAndTheRunGoesOn)
{
    const std::string a = tree.file("src/a.txt", "a");
    const std::string b = tree.file("src/b.txt", "b");
    tree.folder("dest");
    FailingStepObserver watcher({true, true});
    BackupSettings settings;
    settings.destination = tree.path("dest");

    const BackupResult result = BackupEngine(settings, watcher, cancel).runBackup({a, b});

    EXPECT_EQ(watcher.errors, std::vector<std::string>{"bar broke"});
    EXPECT_EQ(result.otherErrors, 1u);
    EXPECT_EQ(result.filesCopied, 2u);
    // The failed item kept its check until the next checked item cleared it.
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"copied 1", "step", "error", "uncheck 0", "copied 2",
                                                        "step", "uncheck 1", "close"}));
}

namespace {

struct timespec changedTime(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_ctim;
}

bool operator==(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

TEST_F(BackupRunTest, IncrementalRunLeavesAFolderOfUnchangedLinksAloneAndMendsOneWhoseLinkMoved)
{
    const std::time_t base = stowmere::testing::localTime(2022, 8, 9, 7, 6, 4);
    tree.file("src/tree/a.txt", "a", base);
    ASSERT_EQ(::symlink("a.txt", tree.path("src/tree/same").c_str()), 0);
    ASSERT_EQ(::symlink("a.txt", tree.path("src/tree/moved").c_str()), 0);
    tree.setModified("src/tree", base);
    tree.folder("dest");
    watch({true});
    run({tree.path("src/tree")}, tree.path("dest"));
    const struct timespec before = changedTime(tree.path("dest/tree"));

    // The change time moves with the system's clock tick: wait one out, so that any write
    // into the folder, or to its bits or times, would show.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    watch({true});
    run({tree.path("src/tree")}, tree.path("dest"), true);
    EXPECT_TRUE(changedTime(tree.path("dest/tree")) == before) << "the folder was written to";

    ASSERT_EQ(::unlink(tree.path("src/tree/moved").c_str()), 0);
    ASSERT_EQ(::symlink("elsewhere", tree.path("src/tree/moved").c_str()), 0);
    tree.setModified("src/tree", base + 60);
    watch({true});
    run({tree.path("src/tree")}, tree.path("dest"), true);
    char text[64] = {};
    ASSERT_GT(::readlink(tree.path("dest/tree/moved").c_str(), text, sizeof text - 1), 0);
    EXPECT_STREQ(text, "elsewhere");
    struct stat copy {};
    ASSERT_EQ(::stat(tree.path("dest/tree").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mtim.tv_sec, base + 60) << "the folder takes its source's time again";
}
