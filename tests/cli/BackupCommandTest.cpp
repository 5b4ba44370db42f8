// SPDX-License-Identifier: GPL-3.0-or-later
// The backup command as the real executable on real temporary trees: each exit code is
// reached by the situation it stands for.
#include "CliTest.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/FileLock.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;
using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::TestTree;

namespace {

class BackupCommand : public CliTest {
protected:
    void SetUp() override
    {
        docs = temp.folder("src/Docs");
        temp.file("src/Docs/a.txt", "a");
        temp.file("src/Docs/.hidden", "h");
        temp.file("src/Docs/Sub/b.txt", "bb");
        temp.file("src/Docs/Sub/Deep/c.txt", "ccc");
        temp.folder("src/Docs/Empty");
        notes = temp.file("src/notes.txt", "notes");
        readme = temp.file("src/README", "readme");
        dest = temp.folder("dest");
        ok({"new-set", "Nightly", dest});
        ok({"add-paths", "Nightly", docs, notes, readme});
    }

    std::string docs, notes, readme, dest;
};

} // namespace

TEST_F(BackupCommand, CopiesEveryPathOfTheSetAndExitsZero)
{
    const ProcessResult result = cli({"backup", "Nightly"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(temp.names("dest"),
              (std::vector<std::string>{".stowmere-manifest.journal", ".stowmere-run.lock", ".stowmere-runs",
                                        "Docs", "README", "notes.txt"}));
    EXPECT_EQ(temp.names("dest/Docs"), (std::vector<std::string>{".hidden", "Empty", "Sub", "a.txt"}));
    EXPECT_EQ(temp.read("dest/Docs/Sub/Deep/c.txt"), "ccc");
    EXPECT_TRUE(temp.names("dest/Docs/Empty").empty());
    EXPECT_EQ(temp.read("dest/README"), "readme");
    // Standard error is a pipe here, so progress comes as plain lines in the window's order.
    EXPECT_EQ(result.err, "[1/3] " + docs + "\n[2/3] " + notes + "\n[3/3] " + readme +
                              "\nBackup finished: 3 of 3 items done, 6 files copied.\n");
}

TEST_F(BackupCommand, IncrementalRunCopiesOnlyWhatChanged)
{
    ok({"backup", "Nightly"});
    ProcessResult again = cli({"backup", "Nightly", "--incremental", "--quiet"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.err, "");
    again = cli({"backup", "Nightly", "--incremental"});
    EXPECT_NE(again.err.find("3 of 3 items done, 0 files copied."), std::string::npos) << again.err;

    temp.file("src/Docs/Sub/b.txt", "changed");
    std::filesystem::last_write_time(temp.path("src/Docs/Sub/b.txt"),
                                     std::filesystem::file_time_type::clock::now() +
                                         std::chrono::seconds(10));
    again = cli({"backup", "Nightly", "--incremental"});
    EXPECT_NE(again.err.find("1 file copied."), std::string::npos) << again.err;
    EXPECT_EQ(temp.read("dest/Docs/Sub/b.txt"), "changed");
}

TEST_F(BackupCommand, OnlyCopiesTheNamedPaths)
{
    const ProcessResult result = cli({"backup", "Nightly", "--only", notes});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(temp.names("dest"),
              (std::vector<std::string>{".stowmere-manifest.journal", ".stowmere-run.lock", ".stowmere-runs",
                                        "notes.txt"}));
    EXPECT_NE(result.err.find("1 of 1 item done, 1 file copied."), std::string::npos) << result.err;

    const ProcessResult foreign = cli({"backup", "Nightly", "--only", "/etc/passwd"});
    EXPECT_EQ(foreign.exitCode, 3);
    EXPECT_NE(foreign.err.find("/etc/passwd"), std::string::npos);
}

TEST_F(BackupCommand, MissingItemsAreListedAndExitOne)
{
    std::filesystem::remove(notes);
    const ProcessResult result = cli({"backup", "Nightly"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("These items were not found and were not backed up:\n" + notes + "\n"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(temp.read("dest/README"), "readme") << "the other items are still copied";
    EXPECT_EQ(result.err.find('\r'), std::string::npos);
}

TEST_F(BackupCommand, FailedCopyShowsTheWindowsTextAndExitsTwo)
{
    // A folder where the file's copy must go, which cannot be kept aside as a version (a
    // file stands where the versions folder goes): the copy cannot replace it.
    temp.folder("dest/notes.txt/inside");
    temp.file("dest/.stowmere-versions", "in the way");
    const ProcessResult result = cli({"backup", "Nightly"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Could not backup file: " + notes +
                              "\n\nDrive could be full.\n\nAvailable space on drive " + dest + "/ "),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\n\nOr try running this application with administrator rights.\n\nReason: "
                              "cannot keep the copy it "
                              "replaces in " +
                              dest + "/.stowmere-versions: File exists\n"),
              std::string::npos)
        << result.err;
    // The item whose copy failed is not done.
    EXPECT_NE(result.err.find("Backup stopped after a failed copy: 1 of 3 items done"), std::string::npos)
        << result.err;
    EXPECT_FALSE(temp.exists("dest/README")) << "the run stops after the failed item";
}

TEST_F(BackupCommand, FilesAnotherUserCannotReadAreListedAndExitOne)
{
    if (::getuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "needs root and setpriv to run the backup as another user";
    const std::string secret = temp.file("src/Docs/secret.txt", "secret");
    const std::string hidden = temp.folder("src/Docs/Private");
    temp.file("src/Docs/Private/p.txt", "p");
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    ASSERT_EQ(::chmod(hidden.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(dest.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(temp.path().c_str(), 0755), 0);
    shareTables();

    const ProcessResult result =
        ChildProcess::run("/usr/bin/setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                               cliExecutable(), "--data", data, "backup", "Nightly"});

    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("These files could not be read and were not backed up:\n"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\n" + hidden + ": Permission denied\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("\n" + secret + ": Permission denied\n"), std::string::npos) << result.err;
    EXPECT_NE(
        result.err.find("Backup finished, some files could not be read: 3 of 3 items done, 6 files copied."),
        std::string::npos)
        << result.err;
    EXPECT_EQ(temp.read("dest/Docs/Sub/Deep/c.txt"), "ccc") << "the rest of the item is copied";
    EXPECT_EQ(temp.read("dest/README"), "readme") << "and the items after it";
    EXPECT_FALSE(temp.exists("dest/Docs/secret.txt"));
}

TEST_F(BackupCommand, SecondRunIntoTheSameDestinationExitsThree)
{
    const auto held =
        stowmere::files::FileLock::acquire(dest + "/.stowmere-run.lock", std::chrono::milliseconds(0));
    ASSERT_TRUE(held);
    const ProcessResult result = cli({"backup", "Nightly", "--quiet"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "Another backup into " + dest + " is running.\n");
    EXPECT_EQ(temp.names("dest"), std::vector<std::string>{".stowmere-run.lock"});
}

TEST_F(BackupCommand, ARefusalForTheLockSaysWhetherABackupOrARestoreHoldsIt)
{
    using stowmere::files::FileLock;
    const std::string lockFile = dest + "/.stowmere-run.lock";
    ok({"backup", "Nightly", "--quiet"});
    EXPECT_EQ(FileLock::holderOf(lockFile), "backup");
    {
        const auto held = FileLock::acquire(lockFile, std::chrono::milliseconds(0));
        ASSERT_TRUE(held);
        const ProcessResult restore = cli({"restore", "Nightly", notes, "--to", temp.folder("back")});
        EXPECT_EQ(restore.exitCode, 3);
        EXPECT_EQ(restore.err, "Another backup into " + dest + " is running.\n");
    }

    ok({"restore", "Nightly", notes, "--to", temp.folder("back")});
    EXPECT_EQ(FileLock::holderOf(lockFile), "restore");
    const auto held = FileLock::acquire(lockFile, std::chrono::milliseconds(0));
    ASSERT_TRUE(held);
    const ProcessResult backup = cli({"backup", "Nightly", "--quiet"});
    EXPECT_EQ(backup.exitCode, 3);
    EXPECT_EQ(backup.err, "A restore from " + dest + " is running.\n");
}

TEST_F(BackupCommand, ItemInsideTheDestinationExitsThree)
{
    ok({"new-set", "Inside", temp.path("src")});
    ok({"add-paths", "Inside", docs});
    const ProcessResult result = cli({"backup", "Inside"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "The Backup To Folder " + temp.path("src") + " and the item " + docs +
                              " lie inside each other.\n");
    EXPECT_FALSE(temp.exists("src/Docs/Docs"));
}

TEST_F(BackupCommand, JsonStreamsTheRunAndEndsWithItsSummaryAndVerboseListsEachCopy)
{
    const ProcessResult verbose = cli({"backup", "Nightly", "--verbose"});
    ASSERT_EQ(verbose.exitCode, 0) << verbose.err;
    std::istringstream copies(verbose.out);
    std::vector<std::string> copied;
    for (std::string line; std::getline(copies, line);)
        copied.push_back(line);
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, (std::vector<std::string>{
                          "copy     " + docs + "/.hidden", "copy     " + docs + "/Sub/Deep/c.txt",
                          "copy     " + docs + "/Sub/b.txt", "copy     " + docs + "/a.txt",
                          "copy     " + readme, "copy     " + notes}));

    std::filesystem::remove(notes);
    const ProcessResult json = cli({"backup", "Nightly", "--json", "--incremental"});
    EXPECT_EQ(json.exitCode, 1) << json.err;
    std::vector<nlohmann::json> lines;
    std::istringstream in(json.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(lines.size(), 5u) << json.out;
    EXPECT_EQ(lines[0]["kind"], "item");
    EXPECT_EQ(lines[0]["path"], docs);
    EXPECT_EQ(lines[1]["kind"], "item");
    EXPECT_EQ(lines[1]["path"], notes);
    EXPECT_EQ(lines[2]["kind"], "item");
    EXPECT_EQ(lines[3]["kind"], "message");
    EXPECT_EQ(lines[3]["text"], "These items were not found and were not backed up:\n" + notes);
    const nlohmann::json& summary = lines[4];
    EXPECT_EQ(summary["kind"], "summary");
    EXPECT_EQ(summary["exit_code"], 1);
    EXPECT_EQ(summary["outcome"], "warnings");
    EXPECT_EQ(summary["mode"], "incremental");
    EXPECT_EQ(summary["files"], 0) << "everything else was up to date";
    EXPECT_EQ(summary["items_done"], 3);
    EXPECT_EQ(summary["not_found"][0], notes);

    // A run refused at start still ends its stream with a summary.
    std::filesystem::remove_all(dest);
    const ProcessResult refused = cli({"backup", "Nightly", "--json"});
    EXPECT_EQ(refused.exitCode, 3);
    const nlohmann::json last = nlohmann::json::parse(refused.out);
    EXPECT_EQ(last["kind"], "summary");
    EXPECT_EQ(last["outcome"], "refused");
    EXPECT_EQ(last["exit_code"], 3);
}

TEST_F(BackupCommand, ListAsJsonGivesEachSetWithItsLastRun)
{
    ok({"new-set", "Two\\Words", dest});
    ok({"backup", "Nightly", "--quiet"});
    std::istringstream in(ok({"list", "--json"}));
    std::vector<nlohmann::json> sets;
    for (std::string line; std::getline(in, line);)
        sets.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0]["set"], 1);
    EXPECT_EQ(sets[0]["description"], "Nightly");
    EXPECT_EQ(sets[0]["destination"], dest);
    EXPECT_EQ(sets[0]["last_run"]["outcome"], "ok");
    EXPECT_TRUE(sets[1]["last_run"].is_null());
    EXPECT_EQ(sets[1]["set"], 2);
}

TEST_F(BackupCommand, RunThatCannotStartExitsThreeWithTheWindowsMessage)
{
    ok({"new-set", "Gone", temp.path("no-such-folder")});
    ok({"add-paths", "Gone", notes});
    ProcessResult result = cli({"backup", "Gone"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "Backup To Folder " + temp.path("no-such-folder") + " does not exist.\n");

    ok({"new-set", "Empty", dest});
    result = cli({"backup", "Empty"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "File and folder list is empty.\n");

    EXPECT_EQ(cli({"backup", "Unknown"}).exitCode, 3);
    EXPECT_TRUE(temp.names("dest").empty());
}

namespace {

/// Starts a backup of one large file followed by a small one, waits until the large copy
/// has begun, sends the signal and returns what the process left.
ProcessResult interruptLargeCopy(TestTree& temp, int signalNumber)
{
    const std::string data = temp.folder("data");
    const std::string dest = temp.folder("dest");
    // Allocated but never written: made at once, yet copied byte by byte like any file.
    const std::string large = temp.allocatedFile("src/large.bin", std::size_t{512} << 20);
    const std::string small = temp.file("src/small.txt", "small");
    EXPECT_EQ(ChildProcess::run(cliExecutable(), {"--data", data, "new-set", "Big", dest}).exitCode, 0);
    EXPECT_EQ(ChildProcess::run(cliExecutable(), {"--data", data, "add-paths", "Big", large, small}).exitCode,
              0);

    ChildProcess child(cliExecutable(), {"--data", data, "backup", "Big"});
    // The item's line comes just before its copy starts, and the copy takes far longer
    // than the few steps between the two.
    EXPECT_TRUE(child.waitForError("[1/2] " + large, std::chrono::seconds(30)));
    child.sendSignal(signalNumber);
    return child.finish();
}

} // namespace

TEST(BackupInterrupt, CtrlCAbandonsTheFileBeingCopiedAndExits130)
{
    TestTree temp{"cli"};
    const ProcessResult result = interruptLargeCopy(temp, SIGINT);
    EXPECT_EQ(result.exitCode, 130) << result.err;
    EXPECT_NE(result.err.find("interrupted, stopping"), std::string::npos);
    // The item being copied was abandoned: it is not done.
    EXPECT_NE(result.err.find("Backup interrupted: 0 of 2 items done, 0 files copied."), std::string::npos)
        << result.err;
    // The copy was cut off between two chunks: no part of it, no temporary file, and the
    // next item never started.
    EXPECT_EQ(temp.names("dest"), std::vector<std::string>{".stowmere-run.lock"});
}

TEST(BackupInterrupt, TerminationStopsTheSameWayAndExits143)
{
    TestTree temp{"cli"};
    const ProcessResult result = interruptLargeCopy(temp, SIGTERM);
    EXPECT_EQ(result.exitCode, 143) << result.err;
    EXPECT_EQ(temp.names("dest"), std::vector<std::string>{".stowmere-run.lock"});
}
