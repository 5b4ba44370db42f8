// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/OwnNames.h"
#include "backup/BackupEngine.h"
#include "backup/LocalDestination.h"
#include "backup/Restore.h"
#include "backup/Verifier.h"
#include "backup/VersionStore.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace stowmere::backup;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

/// Every name the program gives its own files, as a source may hold them too.
const std::vector<std::string> kLookalikes = {".stowmere-versions",     ".stowmere-tmp",
                                              ".stowmere-tmp-Ab3dE6g8", ".stowmere-run.lock",
                                              ".stowmere-manifest",     ".stowmere-manifest.journal",
                                              ".stowmere-runs"};

class OwnNames : public ::testing::Test {
protected:
    BackupResult backUp(const std::vector<std::string>& items, bool incremental, std::int32_t keep = 5)
    {
        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.incremental = incremental;
        settings.keepVersions = keep;
        RecordingObserver observer(std::vector<bool>(items.size(), true));
        std::atomic<bool> cancel{false};
        BackupResult result = BackupEngine(settings, observer, cancel).runBackup(items);
        errors = observer.errors;
        return result;
    }

    /// A tree that holds each of the program's names below its top, as files and as folders.
    void lookalikeTree(const std::string& contents, std::time_t modified)
    {
        for (const std::string& name : kLookalikes) {
            tree.file("src/Data/files/" + name, contents + " " + name, modified);
            tree.file("src/Data/folders/" + name + "/inside.txt", contents + " in " + name, modified);
        }
        tree.file("src/Data/.stowmere-versions/2020-01-01T000000Z/old.txt", contents, modified);
    }

    void expectCopied(const std::string& contents)
    {
        for (const std::string& name : kLookalikes) {
            EXPECT_EQ(tree.read("dest/Data/files/" + name), contents + " " + name) << name;
            EXPECT_EQ(tree.read("dest/Data/folders/" + name + "/inside.txt"), contents + " in " + name)
                << name;
        }
        EXPECT_EQ(tree.read("dest/Data/.stowmere-versions/2020-01-01T000000Z/old.txt"), contents);
    }

    TestTree tree;
    std::vector<std::string> errors;
};

} // namespace

TEST(OwnNameRule, OnlyTheFixedTopLevelNamesAreTheDestinations)
{
    for (const char* name : {".stowmere-versions", ".stowmere-tmp", ".stowmere-run.lock",
                             ".stowmere-manifest", ".stowmere-manifest.journal"})
        EXPECT_TRUE(isOwnTopLevelName(name)) << name;
    for (const char* name : {".stowmere-tmp-Ab3dE6g8", ".stowmere-versions2", ".Stowmere-versions",
                             ".stowmere-tmp/", "stowmere-manifest", ""})
        EXPECT_FALSE(isOwnTopLevelName(name)) << name;
}

TEST_F(OwnNames, NamesLikeTheProgramsAtDepthAreBackedUpVerifiedAndRestored)
{
    lookalikeTree("first", 1'600'000'000);
    tree.folder("dest");
    const BackupResult full = backUp({tree.path("src/Data")}, false);
    ASSERT_FALSE(full.copyFailed) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(full.notBackedUpCount, 0u);
    expectCopied("first");

    // Changed: an incremental run copies each again and keeps the replaced copies.
    lookalikeTree("second", 1'700'000'000);
    const BackupResult incremental = backUp({tree.path("src/Data")}, true);
    ASSERT_FALSE(incremental.copyFailed) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(incremental.filesCopied, 2 * kLookalikes.size() + 1);
    expectCopied("second");
    const auto runs = VersionStore(tree.path("dest")).runFolders();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(tree.read("dest/.stowmere-versions/" + runs[0].name + "/Data/files/.stowmere-run.lock"),
              "first .stowmere-run.lock");

    // Verification reads every one of them and finds each as recorded.
    VerifySettings settings;
    settings.destination = tree.path("dest");
    settings.items = {tree.path("src/Data")};
    std::atomic<bool> cancel{false};
    VerifyObserver quiet;
    const VerifyResult verified = verify(settings, quiet, cancel);
    EXPECT_EQ(verified.counts.matched, 2 * kLookalikes.size() + 1);
    EXPECT_EQ(verified.counts.faults(), 0u);
    EXPECT_EQ(verified.counts.unrecorded, 0u);

    // A restore brings all of them back, none skipped as the program's.
    RestoreRequest request;
    request.destination = tree.path("dest");
    request.items = {tree.path("src/Data")};
    request.paths = {tree.path("src/Data")};
    request.to = tree.path("back");
    RestoreObserver observer;
    const RestoreResult restored = restore(request, observer, cancel);
    EXPECT_EQ(restored.restored, 2 * kLookalikes.size() + 1);
    for (const std::string& name : kLookalikes) {
        EXPECT_EQ(tree.read("back/Data/files/" + name), "second " + name) << name;
        EXPECT_EQ(tree.read("back/Data/folders/" + name + "/inside.txt"), "second in " + name) << name;
    }
    EXPECT_EQ(tree.read("back/Data/.stowmere-versions/2020-01-01T000000Z/old.txt"), "second");
}

TEST_F(OwnNames, AnItemCopiedStraightIntoTheDestinationNeverTakesItsOwnNames)
{
    // The destination's versions folder from an earlier run, and a source whose top holds
    // the same names.
    tree.file("src/Data/plain.txt", "plain", 1'600'000'000);
    tree.file("src/Data/.stowmere-run.lock", "not a lock");
    tree.file("src/Data/.stowmere-versions/2020-01-01T000000Z/f.txt", "not a version");
    tree.file("src/Data/.stowmere-manifest", "not a manifest");
    tree.file("src/Data/deeper/.stowmere-manifest", "at depth: a copy like any other");
    tree.folder("dest");
    const BackupResult result = backUp({tree.path("src/Data") + "/"}, false);
    ASSERT_FALSE(result.copyFailed) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(tree.read("dest/plain.txt"), "plain");
    EXPECT_EQ(tree.read("dest/deeper/.stowmere-manifest"), "at depth: a copy like any other");
    EXPECT_FALSE(tree.exists("dest/.stowmere-versions"));
    EXPECT_TRUE(!tree.exists("dest/.stowmere-manifest") ||
                tree.read("dest/.stowmere-manifest") != "not a manifest");
    EXPECT_NE(tree.read("dest/.stowmere-run.lock"), "not a lock");
    // Each is listed as not backed up, with the reason.
    EXPECT_EQ(result.notBackedUpCount, 3u);
    for (const auto& left : result.notBackedUp)
        EXPECT_EQ(left.reason, kOwnNameReason) << left.path;

    // A file item or a folder item named as one of them is not backed up either.
    tree.file("other/.stowmere-tmp", "a file item");
    tree.file("other/.stowmere-versions/x.txt", "a folder item");
    const BackupResult items =
        backUp({tree.path("other/.stowmere-tmp"), tree.path("other/.stowmere-versions")}, false);
    EXPECT_EQ(items.notBackedUpCount, 2u);
    EXPECT_FALSE(tree.exists("dest/.stowmere-tmp")) << "a file item takes none of its names";
    EXPECT_FALSE(tree.exists("dest/.stowmere-versions/x.txt"));
}

TEST_F(OwnNames, AUsersFileNamedLikeATemporaryIsNeverRemovedNorSkipped)
{
    // Named exactly as temporaries of earlier versions were, in the source and beside the
    // copies (where an earlier version may have left one: it is left alone too).
    tree.file("src/Data/.stowmere-tmp-Ab3dE6g8", "mine", 1'600'000'000);
    tree.file("src/Data/sub/.stowmere-tmp-Zz9Yy8Xx", "mine too", 1'600'000'000);
    tree.file("dest/Data/.stowmere-tmp-Qq1Ww2Ee", "left by an older version");
    const BackupResult first = backUp({tree.path("src/Data")}, true);
    ASSERT_FALSE(first.copyFailed);
    const BackupResult second = backUp({tree.path("src/Data")}, true);
    EXPECT_EQ(second.filesCopied, 0u);
    EXPECT_EQ(tree.read("dest/Data/.stowmere-tmp-Ab3dE6g8"), "mine");
    EXPECT_EQ(tree.read("dest/Data/sub/.stowmere-tmp-Zz9Yy8Xx"), "mine too");
    EXPECT_EQ(tree.read("dest/Data/.stowmere-tmp-Qq1Ww2Ee"), "left by an older version");

    // Restored over a place that holds a file of a temporary's name: it is replaced only
    // as asked, and never taken for a leftover.
    tree.file("back/Data/.stowmere-tmp-Zz9Yy8Xx", "a stranger");
    RestoreRequest request;
    request.destination = tree.path("dest");
    request.items = {tree.path("src/Data")};
    request.paths = {tree.path("src/Data")};
    request.to = tree.path("back");
    std::atomic<bool> cancel{false};
    RestoreObserver observer;
    const RestoreResult restored = restore(request, observer, cancel);
    EXPECT_EQ(tree.read("back/Data/.stowmere-tmp-Ab3dE6g8"), "mine");
    EXPECT_EQ(tree.read("back/Data/sub/.stowmere-tmp-Zz9Yy8Xx"), "mine too");
    EXPECT_EQ(tree.read("back/Data/.stowmere-tmp-Zz9Yy8Xx"), "a stranger");
    EXPECT_TRUE(restored.kept.empty());
    // Nothing but what was restored stands in the place.
    EXPECT_EQ(tree.names("back/Data"),
              (std::vector<std::string>{".stowmere-tmp-Ab3dE6g8", ".stowmere-tmp-Qq1Ww2Ee",
                                        ".stowmere-tmp-Zz9Yy8Xx", "sub"}));
}

TEST_F(OwnNames, TheNextRunEmptiesTheFolderOfCopiesUnderWay)
{
    tree.file("src/Data/a.txt", "a");
    // What a killed run left: files, a link and a read-only folder with contents.
    tree.file("dest/.stowmere-tmp/.stowmere-tmp-Ab3dE6g8", "half a copy");
    tree.file("dest/.stowmere-tmp/stray/deep/file", "more");
    std::filesystem::create_symlink(tree.path("src"), tree.path("dest/.stowmere-tmp/link"));
    std::filesystem::permissions(tree.path("dest/.stowmere-tmp/stray"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const BackupResult result = backUp({tree.path("src/Data")}, false);
    ASSERT_FALSE(result.copyFailed) << (errors.empty() ? "" : errors[0]);
    EXPECT_FALSE(tree.exists("dest/.stowmere-tmp")) << "emptied, then removed at the end";
    EXPECT_EQ(tree.read("dest/Data/a.txt"), "a");
    EXPECT_EQ(tree.read("src/Data/a.txt"), "a") << "the link was removed, not followed";
    // Replacing a copy leaves nothing in it either, nor beside the copy.
    tree.file("src/Data/a.txt", "changed", 1'800'000'000);
    backUp({tree.path("src/Data")}, true);
    EXPECT_EQ(tree.read("dest/Data/a.txt"), "changed");
    EXPECT_FALSE(tree.exists("dest/.stowmere-tmp"));
    EXPECT_EQ(tree.names("dest/Data"), std::vector<std::string>{"a.txt"});
}

TEST_F(OwnNames, ACopyIsCompleteInTheFolderOfCopiesUnderWayUntilItTakesItsName)
{
    tree.file("src/a.txt", "the new copy");
    std::filesystem::create_symlink("new target", tree.path("src/a.lnk"));
    tree.file("dest/Data/a.txt", "the old copy");
    std::filesystem::create_symlink("old target", tree.path("dest/Data/a.lnk"));
    std::error_code error;
    const auto destination = LocalDestination::open(tree.path("dest"), error);
    ASSERT_TRUE(destination);
    ASSERT_FALSE(destination->prepareTemporaries());
    const FolderHandle folder = destination->openFolder("Data", error);
    ASSERT_TRUE(folder);
    const auto writer = destination->writer();
    for (const auto& [name, link] : {std::pair{"a.txt", false}, std::pair{"a.lnk", true}}) {
        WriteRequest request;
        request.folder = folder;
        request.name = name;
        request.source = tree.path("src/") + name;
        request.link = link;
        std::vector<std::string> underWay;
        std::vector<std::string> beside;
        request.keepReplaced = [&](std::error_code& keepError) -> std::optional<VersionPlace> {
            keepError.clear();
            underWay = tree.names("dest/.stowmere-tmp");
            beside = tree.names("dest/Data");
            return std::nullopt;
        };
        EXPECT_EQ(writer->write(std::move(request)).status, stowmere::files::CopyOutcome::Status::Copied);
        ASSERT_EQ(underWay.size(), 1u) << name;
        EXPECT_TRUE(underWay[0].starts_with(".stowmere-tmp-")) << underWay[0];
        EXPECT_EQ(beside, (std::vector<std::string>{"a.lnk", "a.txt"})) << name;
        EXPECT_TRUE(tree.names("dest/.stowmere-tmp").empty()) << name;
    }
    EXPECT_EQ(tree.read("dest/Data/a.txt"), "the new copy");
    EXPECT_EQ(std::filesystem::read_symlink(tree.path("dest/Data/a.lnk")), "new target");
}
