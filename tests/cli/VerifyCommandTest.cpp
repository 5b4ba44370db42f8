// SPDX-License-Identifier: GPL-3.0-or-later
// The verify command, run as the real executable over real backups.
#include "CliTest.h"
#include "NotificationListener.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using stowmere::cli::test::CliTest;
using stowmere::cli::test::NotificationListener;
using stowmere::cli::test::PrivateSessionBus;
using stowmere::cli::test::ProcessResult;
namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class VerifyCommand : public CliTest {
protected:
    void SetUp() override
    {
        temp.file("src/Docs/a.txt", "first");
        temp.file("src/Docs/Sub/b.txt", std::string(100000, 'b'));
        temp.file("src/note.txt", "note");
        dest = temp.folder("dest");
        ok({"new-set", "Set", dest});
        ok({"add-paths", "Set", temp.path("src/Docs"), temp.path("src/note.txt")});
        ok({"backup", "Set", "--quiet"});
    }

    /// Rot: one byte changed in place, the time put back.
    void rot(const std::string& relative)
    {
        const std::string path = temp.path(relative);
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(2);
        file.put('X');
        file.close();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    std::string dest;
};

} // namespace

TEST_F(VerifyCommand, ExitCodesTellNothingToCheckAllMatchFaultsAndAnUnreadableDestination)
{
    // The copies of a backup made before the manifest existed have no record yet.
    fs::remove(temp.path("dest/.stowmere-manifest"));
    fs::remove(temp.path("dest/.stowmere-manifest.journal"));
    const ProcessResult first = cli({"verify", "Set"});
    EXPECT_EQ(first.exitCode, 3) << first.err;
    EXPECT_TRUE(contains(first.out, "unrecorded\t" + dest + "/Docs/a.txt\t")) << first.out;

    const ProcessResult clean = cli({"verify", "Set"});
    EXPECT_EQ(clean.exitCode, 0) << clean.err;
    EXPECT_EQ(clean.out, "");
    EXPECT_TRUE(contains(clean.err, "Verified 3 copies")) << clean.err;
    EXPECT_TRUE(contains(clean.err, "all match")) << clean.err;

    rot("dest/Docs/Sub/b.txt");
    fs::remove(temp.path("dest/note.txt"));
    const ProcessResult faults = cli({"verify", "Set"});
    EXPECT_EQ(faults.exitCode, 1) << faults.err;
    EXPECT_EQ(faults.out, "damaged\t" + dest + "/Docs/Sub/b.txt\t" +
                              "its content differs from the record while its size and time match\n" +
                              "missing\t" + dest + "/note.txt\trecorded, not in the backup\n");
    EXPECT_TRUE(contains(faults.err, "1 damaged, 1 missing")) << faults.err;

    fs::rename(dest, temp.path("unplugged"));
    const ProcessResult unreadable = cli({"verify", "Set"});
    EXPECT_EQ(unreadable.exitCode, 2) << unreadable.err;
    EXPECT_TRUE(contains(unreadable.err, "Cannot read " + dest)) << unreadable.err;

    // Each verification is in the history, with its counts and outcome.
    const std::string history = ok({"history", "Set", "--json"});
    std::vector<nlohmann::json> runs;
    std::istringstream lines(history);
    for (std::string line; std::getline(lines, line);)
        runs.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(runs[2]["mode"], "verify");
    EXPECT_EQ(runs[2]["outcome"], "ok");
    EXPECT_EQ(runs[3]["outcome"], "failed");
    EXPECT_EQ(runs[3]["verify"]["damaged"], 1);
    EXPECT_EQ(runs[3]["verify"]["missing"], 1);
    EXPECT_EQ(runs[3]["verify"]["matched"], 1);
    EXPECT_EQ(runs[4]["outcome"], "failed");
    // A verification is no backup: the set's last run stays the backup.
    EXPECT_TRUE(contains(ok({"list"}), "\tok\n"));
}

TEST_F(VerifyCommand, JsonListsEachProblemAndTheDamagedManifestThenTheSummary)
{
    cli({"verify", "Set"});
    std::ofstream(temp.path("dest/.stowmere-manifest.journal"), std::ios::app) << "0000dead + not a line\n";
    const ProcessResult result = cli({"verify", "Set", "--json", "--against-source"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    std::istringstream lines(result.out);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);)
        objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 2u) << result.out;
    EXPECT_EQ(objects[0]["kind"], "manifest");
    EXPECT_EQ(objects[0]["file"], dest + "/.stowmere-manifest.journal");
    EXPECT_EQ(objects[0]["line"], 5);
    EXPECT_EQ(objects[1]["kind"], "summary");
    EXPECT_EQ(objects[1]["exit_code"], 1);
    EXPECT_EQ(objects[1]["verify"]["matched"], 3);
    EXPECT_TRUE(contains(result.err, "3 against their source")) << result.err;
}

TEST_F(VerifyCommand, ArgumentsBelongToTheirCommands)
{
    EXPECT_EQ(cli({"verify"}).exitCode, 3);
    EXPECT_TRUE(
        contains(cli({"backup", "Set", "--against-source"}).err, "--against-source belongs to the verify"));
    EXPECT_EQ(cli({"verify", "No such set"}).exitCode, 3);
    EXPECT_TRUE(contains(ok({"verify", "--help"}), "Usage: stowmere-cli verify SET"));
}

TEST_F(VerifyCommand, DamagedOrMissingCopiesSendAFailureNotificationNamingTheSetAndTheCount)
{
    cli({"verify", "Set"});
    PrivateSessionBus bus(temp.folder("bus"));
    NotificationListener service(bus.address());
    extraEnvironment = {"DBUS_SESSION_BUS_ADDRESS=" + bus.address()};
    ok({"verify", "Set"});
    EXPECT_TRUE(service.received().empty());

    rot("dest/Docs/a.txt");
    fs::remove(temp.path("dest/note.txt"));
    EXPECT_EQ(cli({"verify", "Set"}).exitCode, 1);
    ASSERT_EQ(service.received().size(), 1u);
    EXPECT_EQ(service.received().front().summary, "Verification of \"Set\" found damaged copies");
    EXPECT_EQ(service.received().front().body,
              "1 damaged, 1 missing.\n'stowmere-cli history' has the details.");
    EXPECT_EQ(service.received().front().urgency, 2);
}

TEST_F(VerifyCommand, TheNextBackupCopiesAgainWhatVerificationFoundAndSaysSoInItsOutputAndHistory)
{
    rot("dest/Docs/a.txt");
    EXPECT_EQ(cli({"verify", "Set"}).exitCode, 1);
    const ProcessResult healing = cli({"backup", "Set", "--incremental", "--quiet"});
    EXPECT_EQ(healing.exitCode, 0) << healing.err;
    EXPECT_TRUE(
        contains(healing.err, "1 copy that verification had found damaged or missing was copied again."))
        << healing.err;
    EXPECT_TRUE(contains(ok({"history", "Set"}),
                         "  copied again: 1 copy verification had found damaged or missing\n"));
    EXPECT_EQ(cli({"verify", "Set"}).exitCode, 0);
}
