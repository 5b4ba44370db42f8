// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::backup::PreviewEntry;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

using Kind = PreviewEntry::Kind;

/// Every entry below a folder, the folder included, with what a write would change.
std::map<std::string, std::string> snapshot(const std::string& folder)
{
    std::map<std::string, std::string> entries;
    const auto describe = [](const std::string& path) {
        struct stat info {};
        ::lstat(path.c_str(), &info);
        return std::to_string(info.st_mode) + " " + std::to_string(info.st_size) + " " +
               std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + " " +
               std::to_string(info.st_ctim.tv_sec) + "." + std::to_string(info.st_ctim.tv_nsec);
    };
    entries[folder] = describe(folder);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        entries[entry.path().string()] = describe(entry.path().string());
    return entries;
}

class PreviewTest : public ::testing::Test {
protected:
    BackupResult run(RecordingObserver& observer, const std::vector<std::string>& items, bool incremental,
                     bool dryRun)
    {
        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.incremental = incremental;
        settings.dryRun = dryRun;
        std::atomic<bool> cancel{false};
        return BackupEngine(settings, observer, cancel).runBackup(items);
    }

    /// A source tree backed up once, then changed: one file of each kind.
    void prepareChangedTree()
    {
        tree.file("src/same.txt", "same", 1'600'000'000);
        tree.file("src/newer.txt", "old!", 1'600'000'000);
        tree.file("src/older.txt", "now!", 1'600'000'000);
        tree.file("src/size.txt", "short", 1'600'000'000);
        tree.file("src/deep/kept.txt", "kept", 1'600'000'000);
        ::symlink("same.txt", tree.path("src/link").c_str());
        tree.folder("dest");
        RecordingObserver first({true});
        run(first, {tree.path("src")}, false, false);
        ASSERT_TRUE(tree.exists("dest/src/deep/kept.txt"));

        tree.file("src/newer.txt", "new!", 1'700'000'000);
        // An older file of the same size put back (cp -p, tar x): a copy to make all the same.
        tree.file("src/older.txt", "then", 1'500'000'000);
        tree.file("src/size.txt", "much longer", 1'500'000'000);
        tree.file("src/new.txt", "brand new", 1'600'000'000);
        tree.file("src/fresh/inside.txt", "in a new folder", 1'600'000'000);
    }

    static std::vector<std::string> filesOf(const RecordingObserver& observer)
    {
        std::vector<std::string> files;
        for (const PreviewEntry& entry : observer.previews) {
            if (stowmere::backup::previewKindCopiesFile(entry.kind))
                files.push_back(entry.source);
        }
        return files;
    }

    static std::map<std::string, Kind> kindsOf(const RecordingObserver& observer)
    {
        std::map<std::string, Kind> kinds;
        for (const PreviewEntry& entry : observer.previews)
            kinds[entry.kind == Kind::Mkdir ? entry.target : entry.source] = entry.kind;
        return kinds;
    }

    TestTree tree;
};

TEST_F(PreviewTest, IncrementalPreviewListsWhatTheRunThenCopiesAndWritesNothing)
{
    prepareChangedTree();
    const auto before = snapshot(tree.path("dest"));

    RecordingObserver preview({true});
    const BackupResult planned = run(preview, {tree.path("src")}, true, true);
    EXPECT_EQ(snapshot(tree.path("dest")), before);
    EXPECT_TRUE(preview.sources.empty());
    EXPECT_FALSE(planned.refused);

    const auto kinds = kindsOf(preview);
    EXPECT_EQ(kinds.at(tree.path("src/new.txt")), Kind::New);
    EXPECT_EQ(kinds.at(tree.path("src/newer.txt")), Kind::Newer);
    EXPECT_EQ(kinds.at(tree.path("src/older.txt")), Kind::Older);
    EXPECT_EQ(kinds.at(tree.path("src/size.txt")), Kind::Size);
    EXPECT_EQ(kinds.at(tree.path("src/same.txt")), Kind::Same);
    EXPECT_EQ(kinds.at(tree.path("src/link")), Kind::Same);
    EXPECT_EQ(kinds.at(tree.path("dest/src/fresh")), Kind::Mkdir);
    EXPECT_EQ(kinds.count(tree.path("dest/src/deep")), 0U);
    EXPECT_EQ(kinds.at(tree.path("src/fresh/inside.txt")), Kind::New);
    EXPECT_EQ(planned.preview.files, 5U);
    EXPECT_EQ(planned.preview.bytes, std::string("brand newnew!thenmuch longerin a new folder").size());
    EXPECT_EQ(planned.preview.folders, 1U);

    RecordingObserver real({true});
    const BackupResult done = run(real, {tree.path("src")}, true, false);
    auto expected = filesOf(preview);
    auto copied = real.sources;
    std::sort(expected.begin(), expected.end());
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, expected);
    EXPECT_EQ(done.filesCopied, planned.preview.files);
    EXPECT_EQ(tree.read("dest/src/older.txt"), "then");
}

TEST_F(PreviewTest, FullPreviewListsEveryFileAndLinkTheRunCopies)
{
    prepareChangedTree();
    RecordingObserver preview({true});
    const BackupResult planned = run(preview, {tree.path("src")}, false, true);
    const auto kinds = kindsOf(preview);
    EXPECT_EQ(kinds.at(tree.path("src/same.txt")), Kind::Replace);
    EXPECT_EQ(kinds.at(tree.path("src/link")), Kind::Link);
    EXPECT_EQ(kinds.at(tree.path("src/newer.txt")), Kind::Newer);

    RecordingObserver real({true});
    const BackupResult done = run(real, {tree.path("src")}, false, false);
    auto expected = filesOf(preview);
    auto copied = real.sources;
    std::sort(expected.begin(), expected.end());
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, expected);
    // Links are counted as copies by both.
    EXPECT_EQ(done.filesCopied, planned.preview.files);
    EXPECT_EQ(tree.read("dest/src/older.txt"), "then");
}

TEST_F(PreviewTest, FileItemsMissingItemsAndAMissingDestinationAreToldAsTheRunWould)
{
    tree.file("one.txt", "1");
    tree.folder("dest");
    RecordingObserver preview({true, true});
    const BackupResult planned = run(preview, {tree.path("one.txt"), tree.path("gone")}, true, true);
    ASSERT_EQ(preview.previews.size(), 2U);
    EXPECT_EQ(preview.previews[0].kind, Kind::New);
    EXPECT_EQ(preview.previews[0].target, tree.path("dest/one.txt"));
    EXPECT_EQ(preview.previews[1].kind, Kind::Missing);
    EXPECT_EQ(planned.missingItems, std::vector<std::string>{tree.path("gone")});
    EXPECT_EQ(preview.errors.size(), 1U); // the missing-items box, as after a run
    // The preview leaves the checks alone and makes no pause for a progress bar.
    EXPECT_FALSE(tree.exists("dest/one.txt"));

    std::filesystem::remove(tree.path("dest"));
    RecordingObserver refusedPreview({true});
    const BackupResult refused = run(refusedPreview, {tree.path("one.txt")}, false, true);
    RecordingObserver refusedRun({true});
    const BackupResult real = run(refusedRun, {tree.path("one.txt")}, false, false);
    EXPECT_TRUE(refused.refused);
    EXPECT_TRUE(real.refused);
    EXPECT_EQ(refused.refusal, real.refusal);
    EXPECT_FALSE(tree.exists("dest"));
}

TEST_F(PreviewTest, UnreadableFolderIsListedAsUnreadable)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder; the command-line tests cover this as another user";
    tree.file("src/locked/inside.txt", "x");
    tree.folder("dest");
    ::chmod(tree.path("src/locked").c_str(), 0);
    RecordingObserver preview({true});
    const BackupResult planned = run(preview, {tree.path("src")}, false, true);
    ::chmod(tree.path("src/locked").c_str(), 0755);
    EXPECT_EQ(kindsOf(preview).at(tree.path("src/locked")), Kind::Unreadable);
    EXPECT_EQ(planned.notBackedUpCount, 1U);
}

} // namespace
