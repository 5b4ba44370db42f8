// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"

#include "RecordingObserver.h"
#include "support/LocalTime.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

class FolderTreeTest : public ::testing::Test {
protected:
    BackupResult run(const std::vector<std::string>& items, const std::string& destination,
                     bool incremental = false, bool dryRun = false)
    {
        BackupSettings settings;
        settings.destination = destination;
        settings.incremental = incremental;
        settings.dryRun = dryRun;
        // One thread reads the folders as they are taken, so a hook sees what the copy will.
        settings.parallelScan = false;
        observer.checks.assign(items.size(), true);
        return BackupEngine(settings, observer, cancel).runBackup(items);
    }
    // The folders of item in the order a run takes them, relative to the item: what a
    // preview into an empty destination says it would make.
    std::vector<std::string> listOf(const std::string& item)
    {
        const std::string destination = tree.folder("listed" + std::to_string(++m_lists));
        RecordingObserver watcher({true});
        BackupSettings settings;
        settings.destination = destination;
        settings.dryRun = true;
        BackupEngine(settings, watcher, cancel).runBackup({item});
        std::vector<std::string> list;
        for (const stowmere::backup::PreviewEntry& entry : watcher.previews) {
            if (entry.kind == stowmere::backup::PreviewEntry::Kind::Mkdir) {
                EXPECT_TRUE(entry.source.starts_with(item)) << entry.source;
                list.push_back(entry.source.substr(item.size()));
            }
        }
        return list;
    }

    TestTree tree;
    RecordingObserver observer{{}};
    std::atomic<bool> cancel{false};

private:
    int m_lists = 0;
};

std::size_t indexOf(const std::vector<std::string>& list, const std::string& entry)
{
    return static_cast<std::size_t>(std::find(list.begin(), list.end(), entry) - list.begin());
}

} // namespace

TEST_F(FolderTreeTest, ListIsDepthFirstPreOrderOfRelativeEntries)
{
    tree.folder("Data/A/A1/A11");
    tree.folder("Data/A/A2");
    tree.folder("Data/.hidden");
    tree.folder("Data/B");
    tree.file("Data/file.txt", "not listed");

    const std::vector<std::string> list = listOf(tree.path("Data"));

    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[0], "");
    for (const char* entry : {"/A", "/A/A1", "/A/A1/A11", "/A/A2", "/.hidden", "/B"})
        EXPECT_LT(indexOf(list, entry), list.size()) << entry;
    // Each folder is followed by everything below it, and only that, before its next sibling.
    for (std::size_t i = 1; i < list.size(); ++i) {
        const std::string prefix = list[i] + "/";
        std::size_t end = i + 1;
        while (end < list.size() && list[end].starts_with(prefix))
            ++end;
        for (std::size_t j = end; j < list.size(); ++j)
            EXPECT_FALSE(list[j].starts_with(prefix)) << list[j] << " is cut off from " << list[i];
        const std::size_t parent = indexOf(list, list[i].substr(0, list[i].rfind('/')));
        EXPECT_LT(parent, i) << list[i] << " comes after its parent";
    }
}

TEST_F(FolderTreeTest, ItemEndingWithSeparatorGivesEntriesWithoutLeadingSeparator)
{
    tree.folder("Data/Sub/Deep");
    // The item folder itself is copied straight into the destination, which is there.
    EXPECT_EQ(listOf(tree.path("Data") + "/"), (std::vector<std::string>{"Sub", "Sub/Deep"}));
    EXPECT_EQ(listOf(tree.path("Data")), (std::vector<std::string>{"", "/Sub", "/Sub/Deep"}));
}

TEST_F(FolderTreeTest, LinksInsideTheTreeAreCopiedAsLinksAndNeverFollowed)
{
    tree.folder("Data/Sub");
    tree.file("Outside/o.txt", "o");
    tree.file("Data/f.txt", "f");
    std::filesystem::create_directory_symlink(tree.path("Data"), tree.path("Data/Sub/up"));
    std::filesystem::create_directory_symlink("..", tree.path("Data/Sub/parent"));
    std::filesystem::create_directory_symlink(tree.path("Outside"), tree.path("Data/out"));
    std::filesystem::create_symlink("f.txt", tree.path("Data/file-link"));
    std::filesystem::create_symlink(tree.path("Nowhere"), tree.path("Data/dangling"));

    EXPECT_EQ(listOf(tree.path("Data")), (std::vector<std::string>{"", "/Sub"}));

    tree.folder("dest");
    const BackupResult first = run({tree.path("Data")}, tree.path("dest"));
    for (const auto& [link, text] :
         std::vector<std::pair<std::string, std::string>>{{"dest/Data/Sub/up", tree.path("Data")},
                                                          {"dest/Data/Sub/parent", ".."},
                                                          {"dest/Data/out", tree.path("Outside")},
                                                          {"dest/Data/file-link", "f.txt"},
                                                          {"dest/Data/dangling", tree.path("Nowhere")}}) {
        ASSERT_TRUE(std::filesystem::is_symlink(tree.path(link))) << link;
        EXPECT_EQ(std::filesystem::read_symlink(tree.path(link)).string(), text) << link;
    }
    EXPECT_FALSE(tree.exists("dest/Data/out/o.txt") &&
                 !std::filesystem::is_symlink(tree.path("dest/Data/out")));
    EXPECT_EQ(first.filesCopied, 6u) << "one file and five links";
    EXPECT_TRUE(observer.errors.empty());

    // Incremental: a link whose text is unchanged is left, one that changed is made anew.
    std::filesystem::remove(tree.path("Data/out"));
    std::filesystem::create_directory_symlink(tree.path("Elsewhere"), tree.path("Data/out"));
    const BackupResult again = run({tree.path("Data")}, tree.path("dest"), true);
    EXPECT_EQ(again.filesCopied, 1u);
    EXPECT_EQ(std::filesystem::read_symlink(tree.path("dest/Data/out")).string(), tree.path("Elsewhere"));
}

TEST_F(FolderTreeTest, BaseNameIsTheLastComponentAndEmptyForRootOrTrailingSeparator)
{
    EXPECT_EQ(BackupEngine::baseName("/home/u/Data"), "Data");
    EXPECT_EQ(BackupEngine::baseName("/home/u/Dätä"), "Dätä");
    EXPECT_EQ(BackupEngine::baseName("/Data"), "Data");
    EXPECT_EQ(BackupEngine::baseName("/home/u/Data/"), "");
    EXPECT_EQ(BackupEngine::baseName("/"), "");
    EXPECT_EQ(BackupEngine::baseName("//"), "");
    // Three characters long, yet not the root: counting characters would get this wrong.
    EXPECT_EQ(BackupEngine::baseName("/ab"), "ab");
    EXPECT_EQ(BackupEngine::baseName("Data"), "Data");
    EXPECT_EQ(BackupEngine::baseName("/home/u/.."), "") << "never a copy beside the destination";
    EXPECT_EQ(BackupEngine::baseName("/home/u/."), "");
    EXPECT_EQ(BackupEngine::baseName("/home/u/.config"), ".config");
}

TEST_F(FolderTreeTest, TreeIsRecreatedWithEmptyFoldersHiddenEntriesAndItemFilesFirst)
{
    tree.file("Data/top.txt", "top");
    tree.file("Data/.hidden-file", "h");
    tree.file("Data/Sub/g.txt", "g");
    tree.file("Data/Sub/Deep/d.txt", "d");
    tree.file("Data/.hidden-folder/x", "x");
    tree.folder("Data/Empty/EmptyToo");
    tree.folder("dest");
    RecordingObserver watcher({true});
    BackupSettings settings;
    settings.destination = tree.path("dest");

    BackupEngine(settings, watcher, cancel).runBackup({tree.path("Data")});

    EXPECT_EQ(tree.read("dest/Data/top.txt"), "top");
    EXPECT_EQ(tree.read("dest/Data/.hidden-file"), "h");
    EXPECT_EQ(tree.read("dest/Data/Sub/g.txt"), "g");
    EXPECT_EQ(tree.read("dest/Data/Sub/Deep/d.txt"), "d");
    EXPECT_EQ(tree.read("dest/Data/.hidden-folder/x"), "x");
    EXPECT_TRUE(std::filesystem::is_directory(tree.path("dest/Data/Empty/EmptyToo")));
    ASSERT_EQ(watcher.targets.size(), 5u);
    std::vector<std::string> firstTwo(watcher.targets.begin(), watcher.targets.begin() + 2);
    std::sort(firstTwo.begin(), firstTwo.end());
    EXPECT_EQ(firstTwo,
              (std::vector<std::string>{tree.path("dest/Data/.hidden-file"), tree.path("dest/Data/top.txt")}))
        << "the item folder's own files come before any sub-folder";
    EXPECT_EQ(watcher.counter, 5u);
}

TEST_F(FolderTreeTest, ResultingPathsFollowItemBaseAndEntry)
{
    tree.file("Data/Sub/g.txt", "g");
    tree.folder("dest");
    run({tree.path("Data"), tree.path("Data") + "/"}, tree.path("dest") + "/");
    EXPECT_EQ(observer.sources,
              (std::vector<std::string>{tree.path("Data/Sub/g.txt"), tree.path("Data/Sub/g.txt")}));
    EXPECT_EQ(observer.targets,
              (std::vector<std::string>{tree.path("dest/Data/Sub/g.txt"), tree.path("dest/Sub/g.txt")}));
}

TEST_F(FolderTreeTest, FifoInsideFolderIsMadeAgainWithoutBlocking)
{
    tree.file("Data/a.txt", "a");
    ASSERT_EQ(::mkfifo(tree.path("Data/pipe").c_str(), 0600), 0);
    tree.folder("dest");
    run({tree.path("Data")}, tree.path("dest"));
    EXPECT_EQ(tree.read("dest/Data/a.txt"), "a");
    struct stat copy {};
    ASSERT_EQ(::lstat(tree.path("dest/Data/pipe").c_str(), &copy), 0);
    EXPECT_TRUE(S_ISFIFO(copy.st_mode));
    EXPECT_TRUE(observer.errors.empty());
}

TEST_F(FolderTreeTest, VanishedSourceFolderIsListedAsNotBackedUpAndTheTreeGoesOn)
{
    tree.file("Data/Later/l.txt", "l");
    tree.file("Data/Other/o.txt", "o");
    tree.folder("dest");
    const std::vector<std::string> list = listOf(tree.path("Data"));
    const std::size_t later = indexOf(list, "/Later");
    ASSERT_LT(later, list.size());
    // The folder vanishes once it was read and before its files are copied, as on a busy disk.
    observer.onFoldersListed = [&](std::size_t count) {
        if (count == later + 1)
            std::filesystem::remove_all(tree.path("Data/Later"));
    };
    const BackupResult result = run({tree.path("Data")}, tree.path("dest"));
    EXPECT_EQ(observer.information.size(), 1u) << "the list of what was not backed up";
    EXPECT_TRUE(observer.errors.empty());
    ASSERT_EQ(result.notBackedUp.size(), 1u);
    EXPECT_EQ(result.notBackedUp[0].path, tree.path("Data/Later"));
    EXPECT_EQ(result.notBackedUp[0].reason, "No such file or directory");
    EXPECT_FALSE(tree.exists("dest/Data/Later/l.txt"));
    EXPECT_EQ(tree.read("dest/Data/Other/o.txt"), "o");
}

TEST_F(FolderTreeTest, IncrementalTreeCopyListsVanishedFolderOnceAndStopsAtCancel)
{
    const std::time_t old = stowmere::testing::localTime(2020, 1, 1, 0, 0, 0);
    for (int i = 0; i < 40; ++i)
        tree.file("Data/F" + std::to_string(i) + "/f.txt", "new", old + 10);
    tree.folder("dest");
    const std::vector<std::string> list = listOf(tree.path("Data"));
    ASSERT_EQ(list.size(), 41u);
    // One listed folder vanishes after it was read, before the copy reaches its files.
    observer.onFoldersListed = [&](std::size_t count) {
        if (count == 6)
            std::filesystem::remove_all(tree.path("Data") + list[5]);
    };
    const BackupResult result = run({tree.path("Data")}, tree.path("dest"), true);
    EXPECT_TRUE(observer.errors.empty());
    ASSERT_EQ(result.notBackedUpCount, 1u);
    EXPECT_EQ(result.notBackedUp[0].path, tree.path("Data") + list[5]);
    EXPECT_EQ(observer.counter, 39u);
    EXPECT_EQ(tree.read("dest/Data" + list[6] + "/f.txt"), "new");

    // Cancel after the first copy: no later folder is created or copied.
    RecordingObserver second({true});
    std::atomic<bool> stop{false};
    second.onFileCopied = [&stop](std::uint64_t) { stop = true; };
    BackupSettings settings;
    settings.destination = tree.path("again");
    settings.incremental = true;
    tree.folder("again");
    BackupEngine(settings, second, stop).runBackup({tree.path("Data")});
    EXPECT_EQ(second.counter, 1u);
    std::size_t folders = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.path("again")))
        folders += entry.is_directory() ? 1 : 0;
    EXPECT_LE(folders, 2u) << "only the item folder and the one holding the copied file";
}
