// SPDX-License-Identifier: GPL-3.0-or-later
// Schedules as the real executable writes them into a temporary XDG_CONFIG_HOME. No user
// manager is reachable here (XDG_RUNTIME_DIR is an empty folder and the bus address leads
// nowhere), which is the case of a server or container; one test puts a recording
// systemctl first on PATH to see the calls made where a manager answers.
#include "CliTest.h"
#include "support/TestTree.h"

#include "catalog/ScheduledBackup.h"

#include "support/FileContents.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;
using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::ScopedEnv;
using stowmere::testing::TestTree;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

/// The program on PATH, or "" when it is not installed.
std::string onPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const fs::path candidate = fs::path(folders.substr(start, end - start)) / name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        start = end + 1;
    }
    return {};
}

class Schedules : public CliTest {
protected:
    void SetUp() override { ::chmod(runtime.c_str(), 0700); }

    std::string unit(const std::string& name) const { return units + "/" + name; }
    /// The units' name of a set of a data folder (this test's by default), without suffix.
    std::string unitOf(int set, const std::string& folder = {}) const
    {
        return stowmere::catalog::ScheduledBackup::unitName(set, folder.empty() ? data : folder);
    }
    bool hasUnit(const std::string& name) const { return fs::exists(unit(name)); }

    std::string config = temp.folder("config");
    std::string runtime = temp.folder("runtime");
    std::string units = config + "/systemd/user";
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.c_str()};
    ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.c_str()};
    ScopedEnv bus{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"};
};

} // namespace

TEST_F(Schedules, WithoutAUserManagerTheUnitsAreWrittenAndTheCronLineShown)
{
    ok({"new-set", "Documents", temp.folder("dest")});
    const ProcessResult result = cli({"schedule", "Documents", "--daily", "2:30", "--incremental"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "1\tDocuments\tdaily 02:30\tincremental\tnot enabled\t" + data + "\n");
    EXPECT_TRUE(contains(result.err, "no systemd user manager answered")) << result.err;
    EXPECT_TRUE(contains(result.err, "systemctl --user enable --now " + unitOf(1) + ".timer")) << result.err;
    EXPECT_TRUE(contains(result.err, "30 2 * * * '" + cliExecutable() +
                                         "' backup 1 --incremental --quiet --data '" + data + "'"))
        << result.err;

    const std::string service = stowmere::testing::readText(unit(unitOf(1) + ".service"));
    EXPECT_TRUE(contains(service, "ExecStart=\"" + cliExecutable() + "\" backup 1 --incremental --data \"" +
                                      data + "\"\n"))
        << service;
    const std::string timer = stowmere::testing::readText(unit(unitOf(1) + ".timer"));
    EXPECT_TRUE(contains(timer, "OnCalendar=*-*-* 02:30:00\nPersistent=true\n")) << timer;

    const std::string analyze = onPath("systemd-analyze");
    if (analyze.empty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    // The manual page is not installed beside a build, so its link is not followed.
    const ProcessResult verify = ChildProcess::run(
        analyze, {"--user", "--man=no", "verify", unit(unitOf(1) + ".timer"), unit(unitOf(1) + ".service")});
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
    EXPECT_EQ(verify.err, "");
}

TEST_F(Schedules, ListingFollowsSetNumbersAndSchedulingAgainChangesTheTime)
{
    for (int i = 1; i <= 10; ++i)
        ok({"new-set", "Set " + std::to_string(i), "/dest"});
    ok({"schedule", "10", "--daily", "23:59"});
    ok({"schedule", "Set 2", "--daily=00:00", "--incremental"});
    EXPECT_EQ(ok({"schedule"}), "2\tSet 2\tdaily 00:00\tincremental\tnot enabled\t" + data +
                                    "\n"
                                    "10\tSet 10\tdaily 23:59\tfull\tnot enabled\t" +
                                    data + "\n");
    ok({"schedule", "2", "--daily", "7:15"});
    EXPECT_TRUE(contains(ok({"schedule"}), "2\tSet 2\tdaily 07:15\tfull\t"));
    EXPECT_TRUE(
        contains(stowmere::testing::readText(unit(unitOf(2) + ".timer")), "OnCalendar=*-*-* 07:15:00\n"));

    // A unit of the same name made by hand is not listed.
    stowmere::testing::writeText(unit(unitOf(3) + ".timer"), "[Timer]\nOnCalendar=daily\n");
    EXPECT_FALSE(contains(ok({"schedule"}), "\n3\t"));
}

TEST_F(Schedules, UnscheduleRemovesTheUnitsAndTheEnableLink)
{
    ok({"new-set", "Documents", "/dest"});
    ok({"schedule", "Documents", "--daily", "02:30"});
    // As the advice printed without a user manager would have it done.
    fs::create_directories(units + "/timers.target.wants");
    fs::create_symlink(unit(unitOf(1) + ".timer"), units + "/timers.target.wants/" + unitOf(1) + ".timer");
    EXPECT_TRUE(contains(ok({"schedule"}), "\tenabled\t"));

    const ProcessResult result = cli({"unschedule", "Documents"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(hasUnit(unitOf(1) + ".timer"));
    EXPECT_FALSE(hasUnit(unitOf(1) + ".service"));
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(units + "/timers.target.wants/" + unitOf(1) + ".timer")));
    EXPECT_TRUE(contains(result.err, "crontab")) << result.err;

    const ProcessResult again = cli({"unschedule", "Documents"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, "Backup set \"Documents\" has no schedule.\n");
    EXPECT_EQ(ok({"schedule"}), "");
}

TEST_F(Schedules, DeletingASetRemovesItsTimerButNotOneOfAnotherDataFolder)
{
    const std::string other = temp.folder("other");
    ok({"new-set", "Documents", "/dest"});
    ok({"new-set", "Pictures", "/dest"});
    ok({"new-set", "Elsewhere", "/dest"}, other);
    ok({"schedule", "1", "--daily", "02:30"});
    ok({"schedule", "2", "--daily", "03:30"});

    // Set 1 of the other folder has the same number but not this timer.
    const ProcessResult elsewhere = cli({"delete-set", "1"}, other);
    EXPECT_EQ(elsewhere.exitCode, 0) << elsewhere.err;
    EXPECT_TRUE(hasUnit(unitOf(1) + ".timer"));

    const ProcessResult deleted = cli({"delete-set", "Documents"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_TRUE(contains(deleted.err, "removed the schedule of the deleted set")) << deleted.err;
    EXPECT_FALSE(hasUnit(unitOf(1) + ".timer"));
    EXPECT_FALSE(hasUnit(unitOf(1) + ".service"));
    EXPECT_TRUE(hasUnit(unitOf(2) + ".timer"));
}

TEST_F(Schedules, SetOneOfTwoDataFoldersIsScheduledBesideTheOther)
{
    const std::string other = temp.folder("other");
    ok({"new-set", "Documents", "/dest"});
    ok({"new-set", "Elsewhere", "/dest"}, other);
    ok({"schedule", "Documents", "--daily", "02:30"});
    const std::string before = stowmere::testing::readText(unit(unitOf(1) + ".timer"));

    ok({"schedule", "Elsewhere", "--daily", "04:00"}, other);
    EXPECT_NE(unitOf(1, other), unitOf(1));
    EXPECT_TRUE(hasUnit(unitOf(1, other) + ".timer"));
    EXPECT_EQ(stowmere::testing::readText(unit(unitOf(1) + ".timer")), before);
    EXPECT_EQ(ok({"schedule"}).find("\n") + 1 < ok({"schedule"}).size(), true) << "both are listed";

    ok({"unschedule", "Elsewhere"}, other);
    EXPECT_FALSE(hasUnit(unitOf(1, other) + ".timer"));
    EXPECT_EQ(stowmere::testing::readText(unit(unitOf(1) + ".timer")), before);
}

TEST_F(Schedules, ATimerOfTheOldNameIsListedReplacedAndRemoved)
{
    ok({"new-set", "Documents", "/dest"});
    ok({"new-set", "Pictures", "/dest"});
    // The units an earlier version wrote, named by the set number alone.
    fs::create_directories(units);
    for (const int set : {1, 2}) {
        stowmere::catalog::ScheduledBackup backup;
        backup.setNumber = set;
        backup.description = set == 1 ? "Documents" : "Pictures";
        backup.time = {2, 30};
        backup.dataFolder = data;
        backup.executable = cliExecutable();
        backup.unit = stowmere::catalog::ScheduledBackup::legacyUnitName(set);
        stowmere::testing::writeText(unit(backup.unit + ".service"), backup.serviceText());
        stowmere::testing::writeText(unit(backup.unit + ".timer"), backup.timerText());
    }
    EXPECT_EQ(ok({"schedule"}), "1\tDocuments\tdaily 02:30\tfull\tnot enabled\t" + data +
                                    "\n2\tPictures\tdaily 02:30\tfull\tnot enabled\t" + data + "\n");

    // Scheduled again, set 1 moves to the present name and never runs twice.
    ok({"schedule", "Documents", "--daily", "05:00"});
    EXPECT_FALSE(hasUnit("stowmere-backup-1.timer"));
    EXPECT_FALSE(hasUnit("stowmere-backup-1.service"));
    EXPECT_TRUE(hasUnit(unitOf(1) + ".timer"));

    // Before the package goes: every schedule, of either name, in one command.
    const ProcessResult all = cli({"unschedule", "--all"});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_TRUE(contains(all.out, "removed stowmere-backup-2.timer (set 2 of " + data + ")")) << all.out;
    EXPECT_TRUE(contains(all.out, "removed " + unitOf(1) + ".timer")) << all.out;
    EXPECT_EQ(ok({"schedule"}), "");
    EXPECT_FALSE(hasUnit("stowmere-backup-2.service"));
    EXPECT_EQ(cli({"unschedule", "--all", "1"}).exitCode, 3);
}

TEST_F(Schedules, ASetDeletedElsewhereIsUnscheduledByItsNumber)
{
    ok({"new-set", "Documents", "/dest"});
    ok({"schedule", "Documents", "--daily", "02:30"});
    // The window deletes sets without knowing of timers.
    fs::remove(data + "/Category.cds");
    EXPECT_EQ(cli({"unschedule", "Documents"}).exitCode, 3);
    const ProcessResult result = cli({"unschedule", "1"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(hasUnit(unitOf(1) + ".timer"));
}

TEST_F(Schedules, AVerificationIsASecondTimerBesideTheBackupAndGoesWithTheSet)
{
    ok({"new-set", "Documents", temp.folder("dest")});
    const std::string verifyUnit = stowmere::catalog::ScheduledBackup::verifyUnitName(1, data);
    ok({"schedule", "Documents", "--daily", "02:30"});
    const ProcessResult result = cli({"schedule", "Documents", "--verify", "weekly"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "1\tDocuments\tweekly\tverify\tnot enabled\t" + data + "\n");
    EXPECT_TRUE(
        contains(result.err, "0 0 * * 1 '" + cliExecutable() + "' verify 1 --quiet --data '" + data + "'"))
        << result.err;
    const std::string service = stowmere::testing::readText(unit(verifyUnit + ".service"));
    EXPECT_TRUE(contains(service, "ExecStart=\"" + cliExecutable() + "\" verify 1 --data \"" + data + "\"\n"))
        << service;
    EXPECT_TRUE(contains(stowmere::testing::readText(unit(verifyUnit + ".timer")), "OnCalendar=weekly\n"));
    // Both are listed; the backup's timer is untouched.
    EXPECT_EQ(ok({"schedule"}), "1\tDocuments\tdaily 02:30\tfull\tnot enabled\t" + data + "\n" +
                                    "1\tDocuments\tweekly\tverify\tnot enabled\t" + data + "\n");

    // Scheduling it again changes its period, not the number of timers.
    ok({"schedule", "1", "--verify=monthly"});
    EXPECT_TRUE(contains(stowmere::testing::readText(unit(verifyUnit + ".timer")), "OnCalendar=monthly\n"));
    EXPECT_TRUE(contains(ok({"schedule"}), "1\tDocuments\tmonthly\tverify\t"));

    const std::string analyze = onPath("systemd-analyze");
    if (!analyze.empty()) {
        const ProcessResult check =
            ChildProcess::run(analyze, {"--user", "--man=no", "verify", unit(verifyUnit + ".timer"),
                                        unit(verifyUnit + ".service")});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    }

    // Deleting the set removes both timers.
    const ProcessResult deleted = cli({"delete-set", "Documents"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_FALSE(hasUnit(unitOf(1) + ".timer"));
    EXPECT_FALSE(hasUnit(verifyUnit + ".timer"));
    EXPECT_FALSE(hasUnit(verifyUnit + ".service"));
    EXPECT_EQ(ok({"schedule"}), "");
}

TEST_F(Schedules, BadSchedulesAreRefusedBeforeAnythingIsWritten)
{
    ok({"new-set", "Documents", "/dest"});
    ok({"new-set", "1", "/dest"}); // a description that reads as the other set's number
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"schedule", "Documents"}, "schedule: missing --daily HH:MM"},
        {{"schedule", "Documents", "--daily", "24:00"}, "not '24:00'"},
        {{"schedule", "Documents", "--daily"}, "--daily needs a time"},
        {{"schedule", "--daily", "02:00"}, "--daily belongs to 'schedule SET' only"},
        {{"list", "--daily", "02:00"}, "--daily belongs to 'schedule SET' only"},
        {{"unschedule", "Documents", "--incremental"}, "--incremental belongs to the backup command"},
        {{"unschedule"}, "unschedule: missing SET"},
        {{"schedule", "Nope", "--daily", "02:00"}, "Nope"},
        {{"schedule", "Documents", "--daily", "02:00"}, "Rename that set first"},
        {{"schedule", "Documents", "--verify", "daily"}, "not 'daily'"},
        {{"schedule", "--verify", "weekly"}, "--verify belongs to 'schedule SET' only"},
        {{"verify", "Documents", "--verify", "weekly"}, "--verify belongs to the schedule command"},
        {{"schedule", "Documents", "--verify", "weekly", "--incremental"},
         "--incremental belongs to a backup"},
    };
    for (const auto& [words, reason] : cases) {
        const ProcessResult result = cli(words);
        EXPECT_EQ(result.exitCode, 3) << words[0];
        EXPECT_TRUE(contains(result.err, reason)) << result.err;
    }
    EXPECT_FALSE(fs::exists(units));
}

TEST_F(Schedules, WhereAUserManagerAnswersTheTimerIsReloadedEnabledAndStarted)
{
    // A stand-in for systemctl that records its arguments and can refuse "enable".
    const std::string log = temp.path("systemctl.log");
    temp.file("bin/systemctl", "#!/bin/sh\n"
                               "echo \"$*\" >> '" +
                                   log +
                                   "'\n"
                                   "case \"$*\" in *enable*) [ -e '" +
                                   temp.path("refuse") +
                                   "' ] && { echo 'Unit file is masked.'; exit 1; } ;; esac\n"
                                   "exit 0\n");
    fs::permissions(temp.path("bin/systemctl"), fs::perms::owner_all);
    const std::string path =
        temp.path("bin") + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    ScopedEnv withStandIn("PATH", path.c_str());

    ok({"new-set", "Documents", "/dest"});
    ok({"schedule", "Documents", "--daily", "02:30"});
    EXPECT_EQ(temp.read("systemctl.log"), "--user daemon-reload\n"
                                          "--user enable " +
                                              unitOf(1) +
                                              ".timer\n"
                                              "--user restart " +
                                              unitOf(1) + ".timer\n");
    fs::remove(log);
    ok({"unschedule", "1"});
    EXPECT_EQ(temp.read("systemctl.log"), "--user disable --now " + unitOf(1) +
                                              ".timer\n"
                                              "--user daemon-reload\n");
    EXPECT_FALSE(hasUnit(unitOf(1) + ".timer"));

    temp.file("refuse", "");
    const ProcessResult refused = cli({"schedule", "Documents", "--daily", "02:30"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_TRUE(contains(refused.err, "enable " + unitOf(1) + ".timer failed: Unit file is masked."))
        << refused.err;
}
