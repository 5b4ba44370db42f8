// SPDX-License-Identifier: GPL-3.0-or-later
// A path of the source that changes kind between two runs: a file, a folder and a link
// replace one another, in full and incremental runs, with and without kept versions.
#include "backup/BackupEngine.h"
#include "backup/Restore.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::backup::PreviewEntry;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

enum class Kind { File, Folder, Link };

const char* nameOf(Kind kind)
{
    switch (kind) {
    case Kind::File:
        return "file";
    case Kind::Folder:
        return "folder";
    case Kind::Link:
        return "link";
    }
    return "";
}

// kind was, kind becomes, incremental, versions kept
using Change = std::tuple<Kind, Kind, bool, bool>;

class KindChange : public ::testing::TestWithParam<Change> {
protected:
    Kind was() const { return std::get<0>(GetParam()); }
    Kind becomes() const { return std::get<1>(GetParam()); }

    BackupSettings settings(bool dryRun = false) const
    {
        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.incremental = std::get<2>(GetParam());
        settings.keepVersions = std::get<3>(GetParam()) ? 5 : 0;
        settings.dryRun = dryRun;
        return settings;
    }

    BackupResult run(RecordingObserver& observer, bool dryRun = false) const
    {
        std::atomic<bool> cancel{false};
        return BackupEngine(settings(dryRun), observer, cancel).runBackup({tree.path("src")});
    }

    // Makes src/x the given kind, with contents that tell one version from the other.
    void make(Kind kind, const std::string& tag) const
    {
        std::filesystem::remove_all(tree.path("src/x"));
        switch (kind) {
        case Kind::File:
            tree.file("src/x", "file " + tag);
            break;
        case Kind::Folder:
            tree.file("src/x/inner/deep.txt", "deep " + tag);
            tree.file("src/x/top.txt", "top " + tag);
            break;
        case Kind::Link:
            ASSERT_EQ(::symlink(("elsewhere-" + tag).c_str(), tree.path("src/x").c_str()), 0);
            break;
        }
    }

    // Whether path holds the kind made by make(kind, tag).
    void expectHolds(const std::string& relative, Kind kind, const std::string& tag) const
    {
        const std::string path = tree.path(relative);
        struct stat info {};
        ASSERT_EQ(::lstat(path.c_str(), &info), 0) << relative;
        switch (kind) {
        case Kind::File:
            ASSERT_TRUE(S_ISREG(info.st_mode)) << relative;
            EXPECT_EQ(tree.read(relative), "file " + tag);
            break;
        case Kind::Folder:
            ASSERT_TRUE(S_ISDIR(info.st_mode)) << relative;
            EXPECT_EQ(tree.read(relative + "/inner/deep.txt"), "deep " + tag);
            EXPECT_EQ(tree.read(relative + "/top.txt"), "top " + tag);
            break;
        case Kind::Link:
            ASSERT_TRUE(S_ISLNK(info.st_mode)) << relative;
            EXPECT_EQ(std::filesystem::read_symlink(path).string(), "elsewhere-" + tag);
            break;
        }
    }

    std::vector<std::string> runFolders() const
    {
        return tree.exists("dest/.stowmere-versions") ? tree.names("dest/.stowmere-versions")
                                                      : std::vector<std::string>{};
    }

    TestTree tree;
};

TEST_P(KindChange, TheNewKindIsCopiedAndTheOldEntryKeptWholeOrRemoved)
{
    tree.folder("dest");
    tree.file("src/after.txt", "after");
    make(was(), "one");
    {
        RecordingObserver first({true});
        run(first);
        ASSERT_TRUE(first.errors.empty()) << first.errors.front();
    }
    expectHolds("dest/src/x", was(), "one");

    make(becomes(), "two");
    tree.file("src/after.txt", "after, changed");

    // The preview names both kinds.
    RecordingObserver preview({true});
    run(preview, true);
    bool told = false;
    for (const PreviewEntry& entry : preview.previews) {
        if (entry.target == tree.path("dest/src/x")) {
            told = true;
            EXPECT_EQ(entry.kind, PreviewEntry::Kind::Replace);
            EXPECT_EQ(entry.was, nameOf(was()));
            EXPECT_EQ(entry.becomes, nameOf(becomes()));
        }
    }
    EXPECT_TRUE(told) << "the preview says nothing of src/x";

    RecordingObserver second({true});
    const BackupResult result = run(second);
    ASSERT_TRUE(second.errors.empty()) << second.errors.front();
    EXPECT_FALSE(result.copyFailed);
    expectHolds("dest/src/x", becomes(), "two");
    // Nothing after the change stays stale.
    EXPECT_EQ(tree.read("dest/src/after.txt"), "after, changed");

    const std::vector<std::string> runs = runFolders();
    if (std::get<3>(GetParam())) {
        ASSERT_EQ(runs.size(), 1u);
        expectHolds("dest/.stowmere-versions/" + runs[0] + "/src/x", was(), "one");
    } else {
        EXPECT_TRUE(runs.empty());
    }

    // And the runs after it are ordinary ones.
    RecordingObserver third({true});
    run(third);
    EXPECT_TRUE(third.errors.empty()) << third.errors.front();
    expectHolds("dest/src/x", becomes(), "two");
}

// A run stopped after the old entry went into the versions and before the new one took its
// place leaves the path without a current copy: a plain restore falls back to the newest
// kept version and says so.
TEST(RestoreWithoutCurrentCopy, FallsBackToTheNewestKeptVersionAndSaysSo)
{
    TestTree tree;
    tree.file("dest/src/keep.txt", "current");
    tree.file("dest/.stowmere-versions/2024-01-01T000000Z/src/report.txt", "first");
    tree.file("dest/.stowmere-versions/2024-02-01T000000Z/src/report.txt", "second");
    tree.file("dest/.stowmere-versions/2024-03-01T000000Z/src/other.txt", "unrelated");
    tree.folder("out");
    stowmere::backup::RestoreRequest request;
    request.destination = tree.path("dest");
    request.items = {tree.path("src")};
    request.paths = {tree.path("src/report.txt")};
    request.to = tree.path("out");
    stowmere::backup::RestoreObserver observer;
    std::atomic<bool> cancel{false};

    const stowmere::backup::RestoreResult result = stowmere::backup::restore(request, observer, cancel);
    EXPECT_EQ(tree.read("out/report.txt"), "second");
    ASSERT_EQ(result.fromVersions.size(), 1u);
    EXPECT_EQ(result.fromVersions[0].first, tree.path("src/report.txt"));
    EXPECT_EQ(result.fromVersions[0].second, "2024-02-01T000000Z");

    // A path with a current copy takes it, and one with neither is still refused.
    request.paths = {tree.path("src/keep.txt")};
    EXPECT_TRUE(stowmere::backup::restore(request, observer, cancel).fromVersions.empty());
    EXPECT_EQ(tree.read("out/keep.txt"), "current");
    request.paths = {tree.path("src/never.txt")};
    EXPECT_THROW(stowmere::backup::restore(request, observer, cancel), stowmere::backup::RestoreRefusal);
}

std::string changeName(const ::testing::TestParamInfo<Change>& info)
{
    const auto& [was, becomes, incremental, versions] = info.param;
    return std::string(nameOf(was)) + "_to_" + nameOf(becomes) + (incremental ? "_incremental" : "_full") +
           (versions ? "_versions" : "");
}

std::vector<Change> everyChange()
{
    std::vector<Change> changes;
    for (const Kind was : {Kind::File, Kind::Folder, Kind::Link}) {
        for (const Kind becomes : {Kind::File, Kind::Folder, Kind::Link}) {
            if (was == becomes)
                continue;
            for (const bool incremental : {false, true}) {
                for (const bool versions : {false, true})
                    changes.emplace_back(was, becomes, incremental, versions);
            }
        }
    }
    return changes;
}

INSTANTIATE_TEST_SUITE_P(AllChanges, KindChange, ::testing::ValuesIn(everyChange()), changeName);

} // namespace
