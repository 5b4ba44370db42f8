// SPDX-License-Identifier: GPL-3.0-or-later
// Mirrored runs: what is gone from a source leaves its copy for the run's versions folder,
// never deleted, and never on the word of a source that looks unplugged.
#include "backup/BackupEngine.h"

#include "RecordingObserver.h"
#include "support/ScopedEnv.h"
#include "support/TestSshServer.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::backup::PreviewEntry;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

namespace fs = std::filesystem;

/// Answers the question about a massive removal as told, and keeps what it was asked.
class MassObserver : public RecordingObserver {
public:
    explicit MassObserver(bool allow) : RecordingObserver({true}), allow(allow) {}
    bool allowMassRemoval(const std::string& item, std::uint64_t files, std::uint64_t copies,
                          bool sourceEmpty) override
    {
        questions.push_back({item, files, copies, sourceEmpty});
        return allow;
    }
    struct Question {
        std::string item;
        std::uint64_t files;
        std::uint64_t copies;
        bool sourceEmpty;
    };
    bool allow;
    std::vector<Question> questions;
};

/// Every entry below root as "f:contents", "l:target" or "d", by relative path.
std::map<std::string, std::string> treeOf(const fs::path& root)
{
    std::map<std::string, std::string> entries;
    if (!fs::exists(fs::symlink_status(root)))
        return entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = fs::relative(it->path(), root).string();
        if (it->is_symlink())
            entries[relative] = "l:" + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            entries[relative] = "d";
        else {
            std::ifstream in(it->path(), std::ios::binary);
            entries[relative] = "f:" + std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return entries;
}

/// Every file's contents in the copy of src and in the versions, by base name and contents.
std::vector<std::string> contentsBelow(const fs::path& destination)
{
    std::vector<std::string> found;
    for (const char* folder : {"src", ".stowmere-versions"})
        for (const auto& [relative, what] : treeOf(destination / folder))
            if (what.starts_with("f:"))
                found.push_back(fs::path(relative).filename().string() + "=" + what.substr(2));
    std::sort(found.begin(), found.end());
    return found;
}

class MirrorTest : public ::testing::Test {
protected:
    BackupSettings settings(bool dryRun = false) const
    {
        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.incremental = true;
        settings.keepVersions = 5;
        settings.mirror = true;
        settings.dryRun = dryRun;
        return settings;
    }

    BackupResult run(RecordingObserver& observer, const BackupSettings& given) const
    {
        std::atomic<bool> cancel{false};
        return BackupEngine(given, observer, cancel).runBackup({tree.path("src")});
    }
    BackupResult run(bool allowMass = false) const
    {
        MassObserver observer(allowMass);
        return run(observer, settings());
    }

    /// The source and its copy hold the same entries with the same contents.
    void expectMirrored() const { EXPECT_EQ(treeOf(tree.path("src")), treeOf(tree.path("dest/src"))); }

    /// The one run folder that holds the copy of relative (below the destination).
    std::string keptCopy(const std::string& relative) const
    {
        std::string found;
        for (const std::string& run : tree.names("dest/.stowmere-versions"))
            if (fs::exists(fs::symlink_status(tree.path("dest/.stowmere-versions/" + run + "/" + relative))))
                found = "dest/.stowmere-versions/" + run + "/" + relative;
        return found;
    }

    void makeSource() const
    {
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"})
            tree.file(std::string("src/") + name, std::string("first ") + name);
        tree.file("src/old/inner/x.txt", "first x");
        tree.file("src/sub/y.txt", "first y");
        fs::create_symlink("a.txt", tree.path("src/to-a"));
    }

    TestTree tree;
};

TEST_F(MirrorTest, EditsRenamesRemovalsAndChangesOfKindLeaveTheCopyAsTheSourceAndKeepTheRest)
{
    tree.folder("dest");
    makeSource();
    const std::vector<std::string> firstContents = contentsBelow(tree.path());
    BackupResult result = run();
    EXPECT_EQ(result.removed, 0u);
    expectMirrored();

    // Edited, renamed, removed, a folder removed whole, a link become a file and a file
    // become a folder.
    tree.file("src/a.txt", "second a, longer");
    fs::rename(tree.path("src/b.txt"), tree.path("src/b-renamed.txt"));
    fs::remove(tree.path("src/c.txt"));
    fs::remove_all(tree.path("src/old"));
    fs::remove(tree.path("src/to-a"));
    tree.file("src/to-a", "a file now");
    fs::remove(tree.path("src/d.txt"));
    tree.file("src/d.txt/inside.txt", "d is a folder now");
    result = run();
    EXPECT_FALSE(result.copyFailed) << result.failureReason;
    EXPECT_EQ(result.removed, 3u); // b.txt, c.txt and the folder old
    expectMirrored();
    EXPECT_EQ(tree.read(keptCopy("src/c.txt")), "first c.txt");
    EXPECT_EQ(tree.read(keptCopy("src/b.txt")), "first b.txt");
    EXPECT_EQ(tree.read(keptCopy("src/old/inner/x.txt")), "first x");
    EXPECT_TRUE(fs::is_symlink(tree.path(keptCopy("src/to-a"))));
    // Nothing the first run copied is gone from the destination.
    const std::vector<std::string> everything = contentsBelow(tree.path("dest"));
    for (const std::string& content : firstContents)
        EXPECT_TRUE(std::binary_search(everything.begin(), everything.end(), content)) << content;
    EXPECT_NE(std::find_if(result.notes.begin(), result.notes.end(),
                           [](const std::string& note) { return note.find("3 copies whose sources") == 0; }),
              result.notes.end());

    // A run that finds nothing gone moves nothing, and a removal in a deep folder goes alone.
    result = run();
    EXPECT_EQ(result.removed, 0u);
    fs::remove(tree.path("src/sub/y.txt"));
    result = run();
    EXPECT_EQ(result.removed, 1u);
    expectMirrored();
    EXPECT_TRUE(fs::is_directory(tree.path("dest/src/sub")));
}

TEST_F(MirrorTest, APreviewListsEachRemovalAndCountsThemButMovesNothing)
{
    tree.folder("dest");
    makeSource();
    run();
    fs::remove(tree.path("src/c.txt"));
    fs::remove_all(tree.path("src/old"));
    const auto before = treeOf(tree.path("dest"));
    RecordingObserver observer({true});
    const BackupResult result = run(observer, settings(true));
    std::vector<std::pair<std::string, std::string>> removals;
    for (const PreviewEntry& entry : observer.previews)
        if (entry.kind == PreviewEntry::Kind::Remove)
            removals.emplace_back(entry.source, entry.target);
    const std::vector<std::pair<std::string, std::string>> expected{
        {tree.path("src/c.txt"), tree.path("dest/src/c.txt")},
        {tree.path("src/old"), tree.path("dest/src/old")}};
    EXPECT_EQ(removals, expected);
    EXPECT_EQ(result.preview.removals, 2u);
    EXPECT_EQ(treeOf(tree.path("dest")), before);
    EXPECT_STREQ(stowmere::backup::previewKindName(PreviewEntry::Kind::Remove), "remove");
}

TEST_F(MirrorTest, AnEmptiedOrMissingSourceOrMostFilesGoneMoveNothingUnlessAllowed)
{
    tree.folder("dest");
    makeSource();
    run();
    const auto copied = treeOf(tree.path("dest/src"));

    // The item missing altogether: "not found", and its copy untouched.
    fs::rename(tree.path("src"), tree.path("elsewhere"));
    BackupResult result = run();
    EXPECT_EQ(result.missingItems, std::vector<std::string>{tree.path("src")});
    EXPECT_EQ(treeOf(tree.path("dest/src")), copied);

    // The item's folder there but empty, as a mount point without its disk.
    tree.folder("src");
    MassObserver refusing(false);
    result = run(refusing, settings());
    EXPECT_EQ(result.removed, 0u);
    EXPECT_EQ(treeOf(tree.path("dest/src")), copied);
    ASSERT_EQ(refusing.questions.size(), 1u);
    EXPECT_TRUE(refusing.questions.front().sourceEmpty);
    EXPECT_EQ(refusing.questions.front().files, 9u);
    ASSERT_FALSE(result.notes.empty());
    EXPECT_NE(result.notes.back().find("the folder is empty"), std::string::npos);
    // A preview refuses the same way.
    MassObserver previewing(false);
    result = run(previewing, settings(true));
    EXPECT_EQ(result.preview.removals, 0u);
    EXPECT_EQ(previewing.questions.size(), 1u);

    // Back with more than half of its files gone: asked again, and moved once allowed.
    fs::remove_all(tree.path("src"));
    fs::rename(tree.path("elsewhere"), tree.path("src"));
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
        fs::remove(tree.path(std::string("src/") + name));
    MassObserver refusingAgain(false);
    result = run(refusingAgain, settings());
    EXPECT_EQ(result.removed, 0u);
    ASSERT_EQ(refusingAgain.questions.size(), 1u);
    EXPECT_FALSE(refusingAgain.questions.back().sourceEmpty);
    EXPECT_EQ(refusingAgain.questions.back().files, 5u);
    EXPECT_EQ(refusingAgain.questions.back().copies, 9u);
    EXPECT_TRUE(tree.exists("dest/src/a.txt"));
    MassObserver allowing(true);
    result = run(allowing, settings());
    EXPECT_EQ(result.removed, 5u);
    expectMirrored();
}

TEST_F(MirrorTest, ExcludedEntriesSharedCopiesAndRunsWithoutMirrorKeepTheirCopies)
{
    tree.folder("dest");
    makeSource();
    tree.file("src/cache/big.bin", "cached");
    tree.file("src/notes.log", "log");
    run();
    fs::remove_all(tree.path("src/cache"));
    fs::remove(tree.path("src/notes.log"));
    fs::remove(tree.path("src/e.txt"));

    // Without mirror nothing goes.
    BackupSettings plain = settings();
    plain.mirror = false;
    RecordingObserver observer({true});
    BackupResult result = run(observer, plain);
    EXPECT_EQ(result.removed, 0u);
    EXPECT_TRUE(tree.exists("dest/src/e.txt"));

    // What the set leaves out stays in the copy, whatever the source holds now.
    BackupSettings excluding = settings();
    excluding.exclusions = {"*.log", "cache/"};
    RecordingObserver again({true});
    result = run(again, excluding);
    EXPECT_EQ(result.removed, 1u);
    EXPECT_FALSE(tree.exists("dest/src/e.txt"));
    EXPECT_EQ(tree.read("dest/src/notes.log"), "log");
    EXPECT_EQ(tree.read("dest/src/cache/big.bin"), "cached");

    // Two items copied under one name: neither can tell what the other lacks.
    tree.file("other/src/only-here.txt", "other");
    fs::remove(tree.path("src/f.txt"));
    std::atomic<bool> cancel{false};
    RecordingObserver two({true, true});
    result = BackupEngine(settings(), two, cancel).runBackup({tree.path("src"), tree.path("other/src")});
    EXPECT_EQ(result.removed, 0u);
    EXPECT_TRUE(tree.exists("dest/src/f.txt"));
    EXPECT_TRUE(tree.exists("dest/src/only-here.txt"));
}

TEST_F(MirrorTest, ARunKilledWhileItMovesLosesNothingAndTheNextRunFinishes)
{
    tree.folder("dest");
    for (int i = 0; i < 400; ++i)
        tree.file("src/gone/f" + std::to_string(i), "content " + std::to_string(i));
    for (int i = 0; i < 450; ++i)
        tree.file("src/kept/f" + std::to_string(i), "kept " + std::to_string(i));
    run();
    // Each file alone in its folder, so that the run moves them one by one.
    for (int i = 0; i < 400; ++i)
        fs::rename(tree.path("dest/src/gone/f" + std::to_string(i)),
                   tree.path("dest/src/g" + std::to_string(i)));
    fs::remove_all(tree.path("src/gone"));
    fs::remove_all(tree.path("dest/src/gone"));
    const std::vector<std::string> copied = contentsBelow(tree.path("dest"));
    ASSERT_EQ(copied.size(), 850u);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        run();
        ::_exit(0);
    }
    // Killed once the first copy has gone into versions (or after the run, on a fast day).
    while (!tree.exists("dest/.stowmere-versions")) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            break;
        std::this_thread::yield();
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    // Every copy is in its place or in the versions, whole.
    EXPECT_EQ(contentsBelow(tree.path("dest")), copied);

    const BackupResult result = run();
    EXPECT_FALSE(result.copyFailed) << result.failureReason;
    expectMirrored();
    EXPECT_EQ(contentsBelow(tree.path("dest")), copied);
}

TEST(MirrorOverSftpTest, ACopyWhoseSourceIsGoneMovesIntoTheServersVersions)
{
    using stowmere::testing::TestSshServer;
    TestSshServer& server = TestSshServer::shared();
    if (!server.running())
        GTEST_SKIP() << server.why();
    const stowmere::testing::ScopedEnv home("HOME", server.home().c_str());
    const stowmere::testing::ScopedEnv agent("SSH_AUTH_SOCK", nullptr);
    server.setKnown(TestSshServer::Known::Key);
    TestTree tree;
    tree.folder("dest");
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        tree.file(std::string("src/") + name, name);
    tree.file("src/old/x.txt", "x");
    BackupSettings settings;
    settings.destination = server.url(tree.path("dest"));
    settings.incremental = true;
    settings.keepVersions = 0;
    settings.mirror = true;
    std::atomic<bool> cancel{false};
    RecordingObserver first({true});
    BackupResult result = BackupEngine(settings, first, cancel).runBackup({tree.path("src")});
    ASSERT_FALSE(result.copyFailed) << result.failureReason;
    fs::remove_all(tree.path("src/old"));
    RecordingObserver second({true});
    result = BackupEngine(settings, second, cancel).runBackup({tree.path("src")});
    ASSERT_FALSE(result.copyFailed) << result.failureReason;
    EXPECT_EQ(result.removed, 1u);
    EXPECT_FALSE(tree.exists("dest/src/old"));
    // Kept although the set keeps no versions of replaced copies: the run that moved it
    // never deletes it.
    const std::vector<std::string> runs = tree.names("dest/.stowmere-versions");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(tree.read("dest/.stowmere-versions/" + runs.front() + "/src/old/x.txt"), "x");
}

} // namespace

TEST_F(MirrorTest, AFullRunFindsRemovalsAtEveryDepthAndACacheItLeavesOutKeepsItsWholeCopy)
{
    tree.folder("dest");
    makeSource();
    tree.file("src/deep/er/gone.txt", "gone");
    tree.file("src/deep/er/stays.txt", "stays");
    tree.file("src/tagged/old.bin", "old cache");
    run();
    // A cache tag left out from now on: its copy is the run's no more, whatever is in it.
    tree.file("src/tagged/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc55");
    fs::remove(tree.path("src/tagged/old.bin"));
    fs::remove(tree.path("src/deep/er/gone.txt"));
    fs::remove_all(tree.path("src/old"));

    BackupSettings full = settings();
    full.incremental = false;
    full.honourCacheDirTag = true;
    MassObserver observer(false);
    const BackupResult result = run(observer, full);
    EXPECT_EQ(result.removed, 2u) << "deep/er/gone.txt and the folder old";
    EXPECT_FALSE(tree.exists("dest/src/deep/er/gone.txt"));
    EXPECT_EQ(tree.read("dest/src/deep/er/stays.txt"), "stays");
    EXPECT_FALSE(tree.exists("dest/src/old"));
    EXPECT_EQ(tree.read(keptCopy("src/old/inner/x.txt")), "first x");
    EXPECT_EQ(tree.read(keptCopy("src/deep/er/gone.txt")), "gone");
    EXPECT_EQ(tree.read("dest/src/tagged/old.bin"), "old cache");
}
