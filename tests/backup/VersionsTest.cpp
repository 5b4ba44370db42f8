// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"
#include "backup/VersionStore.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::backup::VersionStore;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

class Versions : public ::testing::Test {
protected:
    BackupResult run(std::int32_t keep = 5, bool incremental = false)
    {
        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.incremental = incremental;
        settings.keepVersions = keep;
        RecordingObserver observer({true, true});
        std::atomic<bool> cancel{false};
        BackupResult result =
            BackupEngine(settings, observer, cancel).runBackup({tree.path("src"), tree.path("note.txt")});
        errors = observer.errors;
        return result;
    }

    std::vector<VersionStore::RunFolder> runFolders() const
    {
        return VersionStore(tree.path("dest")).runFolders();
    }

    static std::time_t modified(const std::string& path)
    {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_mtim.tv_sec;
    }

    TestTree tree;
    std::vector<std::string> errors;
};

} // namespace

TEST_F(Versions, EachRunKeepsTheCopiesItReplacedWithTheirContentsAndTimes)
{
    tree.file("src/a.txt", "first", 1'600'000'000);
    tree.file("src/same.txt", "never changes", 1'600'000'000);
    tree.file("note.txt", "note one", 1'600'000'000);
    tree.folder("dest");
    run();
    EXPECT_TRUE(runFolders().empty()) << "nothing was replaced";

    tree.file("src/a.txt", "second", 1'650'000'000);
    tree.file("note.txt", "note two", 1'650'000'000);
    run();
    tree.file("src/a.txt", "third!", 1'700'000'000);
    const BackupResult third = run();
    EXPECT_FALSE(third.copyFailed);

    const auto folders = runFolders();
    ASSERT_EQ(folders.size(), 2U);
    EXPECT_EQ(tree.read("dest/.stowmere-versions/" + folders[0].name + "/src/a.txt"), "first");
    EXPECT_EQ(modified(folders[0].path + "/src/a.txt"), 1'600'000'000);
    EXPECT_EQ(tree.read("dest/.stowmere-versions/" + folders[0].name + "/note.txt"), "note one");
    EXPECT_EQ(tree.read("dest/.stowmere-versions/" + folders[1].name + "/src/a.txt"), "second");
    EXPECT_EQ(modified(folders[1].path + "/src/a.txt"), 1'650'000'000);
    EXPECT_EQ(tree.read("dest/src/a.txt"), "third!");
    // A file replaced by an identical copy keeps no version.
    for (const auto& folder : folders)
        EXPECT_FALSE(std::filesystem::exists(folder.path + "/src/same.txt"));
    // The versions are never backed up along with the destination's tree.
    EXPECT_FALSE(tree.exists("dest/src/.stowmere-versions"));

    // A limit of one deletes the older run folder at the end of the next run.
    tree.file("src/same.txt", "changed after all", 1'700'000'000);
    run(1);
    const auto left = runFolders();
    ASSERT_EQ(left.size(), 1U);
    EXPECT_EQ(tree.read("dest/.stowmere-versions/" + left[0].name + "/src/same.txt"), "never changes");
    // With none to keep, the versions go altogether.
    run(0);
    EXPECT_FALSE(tree.exists("dest/.stowmere-versions"));
}

TEST_F(Versions, AVersionThatCannotBeKeptStopsTheRunAndTheOldCopyStaysWhereItWas)
{
    tree.file("src/a.txt", "old", 1'600'000'000);
    tree.file("note.txt", "note", 1'600'000'000);
    tree.folder("dest");
    run();
    // A file where the versions folder should be: no run folder can be made in it.
    tree.file("dest/.stowmere-versions", "in the way");
    tree.file("src/a.txt", "new", 1'700'000'000);
    const BackupResult result = run();
    EXPECT_TRUE(result.copyFailed);
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_NE(errors[0].find("cannot keep the copy it replaces"), std::string::npos) << errors[0];
    EXPECT_EQ(tree.read("dest/src/a.txt"), "old");
}

TEST_F(Versions, RunsInOneSecondGetNumberedFoldersAndPruningKeepsTheNewest)
{
    tree.file("dest/x.txt", "one");
    tree.file("dest/y.txt", "two");
    const VersionStore store(tree.path("dest"));
    constexpr std::time_t start = 1'700'000'000;
    std::error_code error;
    VersionStore::Keeper first(store, start);
    ASSERT_TRUE(first.keep(tree.path("dest/x.txt"), error)) << error.message();
    VersionStore::Keeper second(store, start);
    ASSERT_TRUE(second.keep(tree.path("dest/y.txt"), error)) << error.message();
    EXPECT_EQ(VersionStore::stampOf(start), "2023-11-14T221320Z");
    EXPECT_EQ(first.runFolder(), store.folder() + "/2023-11-14T221320Z");
    EXPECT_EQ(second.runFolder(), store.folder() + "/2023-11-14T221320Z-2");

    tree.folder("dest/.stowmere-versions/2020-01-01T000000Z");
    tree.folder("dest/.stowmere-versions/not a stamp");
    const auto folders = store.runFolders();
    ASSERT_EQ(folders.size(), 3U);
    EXPECT_EQ(folders[0].name, "2020-01-01T000000Z");
    EXPECT_EQ(folders[2].name, "2023-11-14T221320Z-2");

    // Thirty days keep the two of 2023 (seen from a week later), not the one of 2020.
    std::string failure;
    EXPECT_EQ(store.prune(5, 30, start + 7 * 86400, failure), 1U);
    EXPECT_EQ(store.prune(1, 0, start, failure), 1U);
    EXPECT_EQ(failure, "");
    ASSERT_EQ(store.runFolders().size(), 1U);
    EXPECT_EQ(store.runFolders()[0].name, "2023-11-14T221320Z-2");
    // What is not a run folder is never deleted.
    EXPECT_TRUE(tree.exists("dest/.stowmere-versions/not a stamp"));
    EXPECT_FALSE(VersionStore::parseStamp("2023-11-14T221320Z-1"));
    EXPECT_FALSE(VersionStore::parseStamp("2023-13-14T221320Z"));
}
