// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"
#include "backup/LocalDestination.h"
#include "backup/Restore.h"
#include "backup/VersionStore.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::backup::LocalDestination;
using stowmere::backup::VersionPlace;
using stowmere::backup::VersionStore;
using stowmere::backup::WriteRequest;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

/// Runs into a destination where a hostile user has planted links, and checks that
/// nothing outside the destination is written, moved or deleted.
class PlantedLinks : public ::testing::Test {
protected:
    BackupResult run(bool incremental, std::int32_t keep,
                     std::function<void(RecordingObserver&)> prepare = {})
    {
        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.incremental = incremental;
        settings.keepVersions = keep;
        settings.parallelCopy = false;
        RecordingObserver observer({true});
        if (prepare)
            prepare(observer);
        std::atomic<bool> cancel{false};
        BackupResult result = BackupEngine(settings, observer, cancel).runBackup({tree.path("src")});
        errors = observer.errors;
        return result;
    }

    void link(const std::string& target, const std::string& at) const
    {
        std::filesystem::create_symlink(tree.path(target), tree.path(at));
    }

    TestTree tree;
    std::vector<std::string> errors;
};

} // namespace

TEST_F(PlantedLinks, AnIncrementalRunNeitherWritesThroughALinkedFolderNorMovesWhatItLeadsTo)
{
    tree.file("src/sub/f.txt", "first", 1'600'000'000);
    tree.folder("dest");
    run(true, 5);
    // The copy's folder replaced by a link to someone else's folder.
    std::filesystem::remove_all(tree.path("dest/src/sub"));
    tree.file("victim/f.txt", "theirs", 1'500'000'000);
    link("victim", "dest/src/sub");
    tree.file("src/sub/f.txt", "second", 1'700'000'000);
    run(true, 5);
    EXPECT_EQ(tree.read("victim/f.txt"), "theirs");
    EXPECT_EQ(tree.names("victim"), std::vector<std::string>{"f.txt"});
    // The link itself may be kept as a version (it gave way to the folder), never what it
    // leads to.
    for (const auto& folder : VersionStore(tree.path("dest")).runFolders()) {
        const std::string kept = folder.path + "/src/sub";
        EXPECT_TRUE(!std::filesystem::exists(std::filesystem::symlink_status(kept)) ||
                    std::filesystem::is_symlink(kept))
            << folder.path;
    }
    EXPECT_EQ(tree.read("dest/src/sub/f.txt"), "second");
}

TEST_F(PlantedLinks, ALinkedVersionsFolderNeitherReceivesCopiesNorGetsPruned)
{
    tree.file("src/a.txt", "one", 1'600'000'000);
    tree.folder("dest");
    run(false, 5);
    tree.file("victim/2020-01-01T000000Z/keep.txt", "theirs");
    link("victim", "dest/.stowmere-versions");
    tree.file("src/a.txt", "two", 1'700'000'000);
    const BackupResult second = run(false, 1);
    tree.file("src/a.txt", "three", 1'750'000'000);
    run(false, 1);
    run(false, 0);
    EXPECT_FALSE(second.copyFailed) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(tree.names("victim"), std::vector<std::string>{"2020-01-01T000000Z"});
    EXPECT_EQ(tree.read("victim/2020-01-01T000000Z/keep.txt"), "theirs");
    EXPECT_EQ(tree.read("dest/src/a.txt"), "three");
}

TEST_F(PlantedLinks, ALinkedFolderOfCopiesUnderWayIsNeitherWrittenThroughNorEmptied)
{
    tree.file("src/a.txt", "one", 1'600'000'000);
    tree.file("src/sub/link-target.txt", "two", 1'600'000'000);
    std::filesystem::create_symlink("link-target.txt", tree.path("src/sub/b.lnk"));
    tree.file("victim/theirs.txt", "theirs");
    tree.folder("dest");
    link("victim", "dest/.stowmere-tmp");
    const BackupResult first = run(false, 5);
    EXPECT_FALSE(first.copyFailed) << (errors.empty() ? "" : errors[0]);
    // Copies that replace others (a file and a link) go through that folder too.
    tree.file("src/a.txt", "one again", 1'700'000'000);
    std::filesystem::remove(tree.path("src/sub/b.lnk"));
    std::filesystem::create_symlink("elsewhere.txt", tree.path("src/sub/b.lnk"));
    const BackupResult second = run(true, 5);
    EXPECT_FALSE(second.copyFailed) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(tree.names("victim"), std::vector<std::string>{"theirs.txt"});
    EXPECT_EQ(tree.read("victim/theirs.txt"), "theirs");
    // The link gave way to the run's own folder, which the run removed once done.
    EXPECT_FALSE(tree.exists("dest/.stowmere-tmp"));
    EXPECT_EQ(tree.read("dest/src/a.txt"), "one again");
    EXPECT_EQ(std::filesystem::read_symlink(tree.path("dest/src/sub/b.lnk")), "elsewhere.txt");
}

TEST_F(PlantedLinks, ADanglingLockLinkRefusesTheRunAndCreatesNothing)
{
    tree.file("src/a.txt", "one");
    tree.folder("dest");
    link("created-by-the-run", "dest/.stowmere-run.lock");
    const BackupResult result = run(false, 0);
    EXPECT_TRUE(result.refused);
    EXPECT_FALSE(tree.exists("created-by-the-run"));
    EXPECT_FALSE(tree.exists("dest/src"));
}

TEST_F(PlantedLinks, AFolderSwappedForALinkDuringAFullRunReceivesNothingOutside)
{
    for (int i = 0; i < 40; ++i)
        tree.file("src/big/file" + std::to_string(i) + ".txt", "data");
    tree.folder("victim");
    tree.folder("dest");
    bool swapped = false;
    run(false, 0, [&](RecordingObserver& observer) {
        observer.onFileCopied = [&](std::uint64_t) {
            if (swapped || !tree.exists("dest/src/big"))
                return;
            std::filesystem::rename(tree.path("dest/src/big"), tree.path("dest/src/moved"));
            link("victim", "dest/src/big");
            swapped = true;
        };
    });
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(tree.names("victim").empty());
}

TEST_F(PlantedLinks, ACancelledRunLeavesNoEmptyRunFolder)
{
    tree.file("src/a.txt", "one", 1'600'000'000);
    tree.folder("dest");
    run(false, 5);
    tree.file("src/a.txt", "two", 1'700'000'000);
    BackupSettings settings;
    settings.destination = tree.path("dest");
    settings.keepVersions = 5;
    RecordingObserver observer({true});
    std::atomic<bool> cancel{false};
    observer.onCopyProgress = [&](const std::string&, std::uint64_t, std::uint64_t) { cancel = true; };
    const BackupResult result = BackupEngine(settings, observer, cancel).runBackup({tree.path("src")});
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(VersionStore(tree.path("dest")).runFolders().empty());
    EXPECT_EQ(tree.read("dest/src/a.txt"), "one");
}

TEST(KilledReplace, APathHoldsACompleteCopyWhenTheRunIsKilledWhileItsCopyIsReplaced)
{
    TestTree tree;
    tree.file("dest/file.txt", "old copy");
    const std::string source = tree.file("source.txt", "new copy");
    // Killed at the worst instant: the new copy is complete, the old one about to move.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::error_code error;
        auto destination = LocalDestination::open(tree.path("dest"), error);
        const VersionStore store(*destination);
        VersionStore::Keeper keeper(store, 1'700'000'000);
        WriteRequest request;
        request.folder = destination->root();
        request.name = "file.txt";
        request.source = source;
        request.keepReplaced = [&](std::error_code& failure) -> std::optional<VersionPlace> {
            auto place = keeper.placeFor("file.txt", failure);
            ::kill(::getpid(), SIGKILL);
            return place;
        };
        destination->writer()->write(std::move(request));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(tree.read("dest/file.txt"), "old copy");
}

TEST(RestoreThroughLinks, ARestoreAtAnEarlierTimeNeverReadsThroughALinkPlantedInTheVersions)
{
    TestTree tree;
    tree.file("src/mine.txt", "mine");
    tree.file("dest/src/mine.txt", "mine");
    tree.file("victim/secret.txt", "theirs");
    tree.folder("dest/.stowmere-versions/2020-01-01T000000Z");
    std::filesystem::create_symlink(tree.path("victim"),
                                    tree.path("dest/.stowmere-versions/2020-01-01T000000Z/src"));
    stowmere::backup::RestoreRequest request;
    request.destination = tree.path("dest");
    request.items = {tree.path("src")};
    request.paths = {tree.path("src/secret.txt")};
    request.to = tree.path("out");
    request.at = 1'500'000'000;
    tree.folder("out");
    stowmere::backup::RestoreObserver observer;
    std::atomic<bool> cancel{false};
    EXPECT_THROW(stowmere::backup::restore(request, observer, cancel), stowmere::backup::RestoreRefusal);
    EXPECT_FALSE(tree.exists("out/secret.txt"));
}

TEST(RestoreThroughLinks, ARestoreNeverWritesThroughALinkStandingWhereARestoredFolderWas)
{
    TestTree tree;
    tree.file("dest/src/docs/letter.txt", "backed up");
    tree.file("dest/src/top.txt", "top");
    tree.folder("src");
    tree.folder("victim");
    std::filesystem::create_symlink(tree.path("victim"), tree.path("src/docs"));
    stowmere::backup::RestoreRequest request;
    request.destination = tree.path("dest");
    request.items = {tree.path("src")};
    request.paths = {tree.path("src")};
    stowmere::backup::RestoreObserver observer;
    std::atomic<bool> cancel{false};

    stowmere::backup::RestoreResult result = stowmere::backup::restore(request, observer, cancel);
    EXPECT_FALSE(tree.exists("victim/letter.txt")) << "the restore wrote through the planted link";
    EXPECT_EQ(tree.read("src/top.txt"), "top");
    EXPECT_EQ(result.kept, std::vector<std::string>{tree.path("src/docs")});
    EXPECT_TRUE(std::filesystem::is_symlink(tree.path("src/docs")));

    // Asked to overwrite, the link (which holds no data) gives way to the restored folder.
    request.overwrite = true;
    result = stowmere::backup::restore(request, observer, cancel);
    EXPECT_TRUE(result.kept.empty());
    EXPECT_FALSE(std::filesystem::is_symlink(tree.path("src/docs")));
    EXPECT_EQ(tree.read("src/docs/letter.txt"), "backed up");
    EXPECT_FALSE(tree.exists("victim/letter.txt"));
}
