// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Exclusions.h"
#include "backup/BackupEngine.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::backup::Exclusions;
using stowmere::backup::PreviewEntry;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

struct Case {
    const char* pattern;
    const char* path;
    bool folder;
    bool excluded;
};

class PatternForms : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(PatternForms, MatchAsInAGitignore)
{
    const Case& c = GetParam();
    EXPECT_EQ(Exclusions({c.pattern}).excludes(c.path, c.folder), c.excluded)
        << c.pattern << " against " << c.path << (c.folder ? " (folder)" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Exclusions, PatternForms,
    ::testing::Values(
        // Without a "/", a name at any depth.
        Case{"*.o", "main.o", false, true}, Case{"*.o", "src/deep/main.o", false, true},
        Case{"*.o", "main.c", false, false}, Case{"?.txt", "a/b.txt", false, true},
        Case{"?.txt", "a/bb.txt", false, false}, Case{"node_modules", "web/node_modules", true, true},
        // "*" never crosses a folder when the pattern has a "/".
        Case{"src/*.o", "src/main.o", false, true}, Case{"src/*.o", "src/sub/main.o", false, false},
        // A leading "/" anchors at the item.
        Case{"/build", "build", true, true}, Case{"/build", "sub/build", true, false},
        // A trailing "/" matches folders only.
        Case{"cache/", "cache", true, true}, Case{"cache/", "cache", false, false},
        Case{"cache/", "deep/cache", true, true},
        // "**" for any number of folders, none included.
        Case{"**/tmp", "tmp", true, true}, Case{"**/tmp", "a/b/tmp", false, true},
        Case{"a/**/z", "a/z", false, true}, Case{"a/**/z", "a/b/c/z", false, true},
        Case{"a/**/z", "b/a/z", false, false}, Case{"logs/**", "logs/x/y.log", false, true},
        Case{"logs/**", "logs", true, false}, Case{"a/**/b/**/c", "a/x/b/y/z/c", false, true},
        Case{"a/**/b/**/c", "a/x/c/y/b", false, false}, Case{"a/**/**/z", "a/z", false, true},
        Case{"**/x/**", "x", true, false}, Case{"**/x/**", "p/x/q", false, true},
        // Dot files are names like any other.
        Case{"*", ".hidden", false, true}, Case{".git/", "repo/.git", true, true}));

TEST(Exclusions, AnyPatternThatMatchesExcludesWhateverTheOrder)
{
    const Exclusions rules({"*.log", "!keep.log", "/tmp/"});
    EXPECT_TRUE(rules.excludes("a/keep.log", false));
    EXPECT_TRUE(rules.excludes("tmp", true));
    EXPECT_FALSE(rules.excludes("a/tmp", true));
    EXPECT_TRUE(Exclusions({"", "/", "//"}).empty());
}

TEST(Exclusions, ManyDoubleStarsMatchInTimeLinearInThePath)
{
    // Tried every way "**" can split the path, this pattern takes longer than the age of
    // the universe against 60 names: done in a child that a generous alarm ends, the test
    // fails instead of hanging.
    std::string pattern = "top";
    for (int i = 0; i < 20; ++i)
        pattern += "/**/d";
    pattern += "/**/nowhere";
    std::string path = "top";
    for (int i = 0; i < 60; ++i)
        path += "/d";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(60);
        const Exclusions rules({pattern, "**/d/**/d/**/d/**/d/**/d/**/d/**/d/**/d/**/d/**/d/x"});
        const bool excluded = rules.excludes(path, false) || rules.excludes(path + "/x", false);
        ::_exit(excluded && !rules.excludes(path, false) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the match did not end";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Exclusions, OnlyATagWithTheSignatureMarksACache)
{
    TestTree tree;
    tree.file("valid/CACHEDIR.TAG", std::string(Exclusions::kCacheDirSignature) + "\n# a cache\n");
    tree.file("wrong/CACHEDIR.TAG", "Signature: not this one, but as long as the real one\n");
    tree.file("short/CACHEDIR.TAG", "Signature: 8a47");
    tree.folder("folder/CACHEDIR.TAG");
    for (const auto& [folder, tagged] : std::vector<std::pair<std::string, bool>>{
             {"valid", true}, {"wrong", false}, {"short", false}, {"folder", false}}) {
        const int fd = ::open(tree.path(folder).c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(Exclusions::hasCacheDirTag(fd), tagged) << folder;
        ::close(fd);
    }
}

namespace {

class ExcludingRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.file("src/keep.txt", "keep");
        tree.file("src/main.o", "object");
        tree.file("src/deep/lib.o", "object");
        tree.file("src/deep/notes.txt", "notes");
        tree.file("src/build/out.bin", "built");
        tree.file("src/sub/build/out.bin", "not the anchored one");
        tree.file("src/cache/CACHEDIR.TAG", std::string(Exclusions::kCacheDirSignature));
        tree.file("src/cache/blob", "cached");
        tree.folder("dest");
    }

    BackupResult run(RecordingObserver& observer, bool cacheTag, bool dryRun)
    {
        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.dryRun = dryRun;
        settings.exclusions = {"*.o", "/build/"};
        settings.honourCacheDirTag = cacheTag;
        std::atomic<bool> cancel{false};
        return BackupEngine(settings, observer, cancel)
            .runBackup({tree.path("src"), tree.path("src/main.o")});
    }

    TestTree tree;
};

} // namespace

TEST_F(ExcludingRun, LeavesOutWhatThePatternsAndTheCacheTagMatchAndCountsIt)
{
    RecordingObserver preview({true, true});
    const BackupResult planned = run(preview, true, true);
    std::vector<std::string> excluded;
    for (const PreviewEntry& entry : preview.previews)
        if (entry.kind == PreviewEntry::Kind::Excluded)
            excluded.push_back(entry.source);
    std::sort(excluded.begin(), excluded.end());
    EXPECT_EQ(excluded, (std::vector<std::string>{tree.path("src/build"), tree.path("src/cache"),
                                                  tree.path("src/deep/lib.o"), tree.path("src/main.o"),
                                                  tree.path("src/main.o")}));
    // The file item main.o and the same file inside the folder item each count once.
    EXPECT_EQ(planned.excluded, 5U);
    EXPECT_TRUE(planned.missingItems.empty());

    RecordingObserver observer({true, true});
    const BackupResult result = run(observer, true, false);
    EXPECT_EQ(result.excluded, 5U);
    EXPECT_EQ(result.filesCopied, 3U);
    EXPECT_TRUE(tree.exists("dest/src/keep.txt"));
    EXPECT_TRUE(tree.exists("dest/src/deep/notes.txt"));
    EXPECT_TRUE(tree.exists("dest/src/sub/build/out.bin"));
    EXPECT_FALSE(tree.exists("dest/main.o"));
    EXPECT_FALSE(tree.exists("dest/src/deep/lib.o"));
    EXPECT_FALSE(tree.exists("dest/src/build"));
    EXPECT_FALSE(tree.exists("dest/src/cache"));
}

TEST_F(ExcludingRun, ACacheFolderIsCopiedWhenTheSetSaysSo)
{
    RecordingObserver observer({true, true});
    const BackupResult result = run(observer, false, false);
    EXPECT_EQ(result.excluded, 4U);
    EXPECT_EQ(tree.read("dest/src/cache/blob"), "cached");
}
