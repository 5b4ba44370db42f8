// SPDX-License-Identifier: GPL-3.0-or-later
// Schedules of sets as unit files in a temporary XDG_CONFIG_HOME, with no user manager
// reachable (XDG_RUNTIME_DIR is an empty folder and the bus address leads nowhere).
#include "catalog/SetSchedules.h"
#include "catalog/Catalog.h"
#include "catalog/ScheduledBackup.h"
#include "support/FileContents.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace stowmere::catalog;
using stowmere::testing::ScopedEnv;
using stowmere::testing::TempFolder;
namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

bool anyContains(const std::vector<std::string>& lines, const std::string& part)
{
    for (const std::string& line : lines)
        if (contains(line, part))
            return true;
    return false;
}

std::string madeFolder(const TempFolder& temp, const std::string& name)
{
    const fs::path folder = temp.path() / name;
    fs::create_directories(folder);
    return folder.string();
}

ScheduledBackup awkwardBackup()
{
    ScheduledBackup backup;
    backup.setNumber = 7;
    backup.description = "  100% \"Mine\" \\";
    backup.time = {6, 5};
    backup.incremental = true;
    backup.dataFolder = "/home/al ex/it's \"$HOME\" 100%\\data";
    backup.executable = "/opt/Stow mere/stowmere-cli";
    return backup;
}

/// A data folder with the sets "Documents" (1) and "Pictures" (2), and a unit folder in a
/// private XDG_CONFIG_HOME.
class DeletedSetSchedules : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::chmod(runtime.c_str(), 0700);
        Catalog catalog(data);
        catalog.open();
        catalog.addSet("Documents", "/dest");
        catalog.addSet("Pictures", "/dest");
        ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    }

    /// Writes the units of a daily backup of the set as the schedule command does (or as
    /// earlier versions did, under the set number alone) and returns their name.
    std::string schedule(std::int32_t number, const std::string& dataFolder, bool legacyName = false) const
    {
        ScheduledBackup backup;
        backup.setNumber = number;
        backup.description = "set " + std::to_string(number);
        backup.time = {2, 30};
        backup.dataFolder = dataFolder;
        backup.executable = "/usr/bin/stowmere-cli";
        if (legacyName)
            backup.unit = ScheduledBackup::legacyUnitName(number);
        fs::create_directories(units);
        stowmere::testing::writeText(schedules.unitPath(backup.unitName(), ".service"), backup.serviceText());
        stowmere::testing::writeText(schedules.unitPath(backup.unitName(), ".timer"), backup.timerText());
        return backup.unitName();
    }
    bool scheduled(std::int32_t number, const std::string& dataFolder) const
    {
        return schedules.scheduleOf(number, dataFolder).has_value();
    }
    bool scheduled(std::int32_t number) const { return scheduled(number, data); }

    TempFolder temp{"schedules"};
    std::string data = madeFolder(temp, "data");
    std::string config = madeFolder(temp, "config");
    std::string runtime = madeFolder(temp, "runtime");
    std::string units = config + "/systemd/user";
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.c_str()};
    ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.c_str()};
    ScopedEnv bus{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"};
    SetSchedules schedules{units};
};

} // namespace

TEST(DailyTime, AcceptsTheHoursAndMinutesOfADayOnly)
{
    EXPECT_EQ(DailyTime::parse("00:00"), (DailyTime{0, 0}));
    EXPECT_EQ(DailyTime::parse("23:59"), (DailyTime{23, 59}));
    EXPECT_EQ(DailyTime::parse("2:30"), (DailyTime{2, 30}));
    EXPECT_EQ(DailyTime::parse("2:30")->text(), "02:30");
    for (const char* bad : {"24:00", "23:60", "-1:00", "+1:00", "1:5", "123:00", "12:345", "12", "12:", ":30",
                            "", "1a:00", "12:3x", " 1:00", "12.30"})
        EXPECT_FALSE(DailyTime::parse(bad)) << bad;
}

TEST(ScheduledBackup, QuotesPathsForSystemdAndTheShellAndReadsItsTimerBack)
{
    const ScheduledBackup backup = awkwardBackup();
    EXPECT_EQ(ScheduledBackup::legacyUnitName(7), "stowmere-backup-7");
    const std::string service = backup.serviceText();
    // A run that competes with nobody, a stop that is no failure, and a clear line once the
    // program is gone.
    EXPECT_TRUE(contains(service, "SuccessExitStatus=143\nNice=10\nIOSchedulingClass=idle\n")) << service;
    EXPECT_TRUE(contains(service, "AssertFileIsExecutable=/opt/Stow mere/stowmere-cli\n")) << service;
    EXPECT_TRUE(contains(service, "ExecStart=\"/opt/Stow mere/stowmere-cli\" backup 7 --incremental --data "
                                  "\"/home/al ex/it's \\\"$$HOME\\\" 100%%\\\\data\"\n"))
        << service;
    EXPECT_TRUE(contains(service, "Description=Stowmere backup of \"  100%% \"Mine\" \\\"\n")) << service;

    const std::string timer = backup.timerText();
    EXPECT_TRUE(contains(timer, "OnCalendar=*-*-* 06:05:00\nPersistent=true\n")) << timer;
    EXPECT_TRUE(contains(timer, "WantedBy=timers.target\n")) << timer;

    EXPECT_EQ(backup.crontabLine(),
              "5 6 * * * '/opt/Stow mere/stowmere-cli' backup 7 --incremental --quiet --data "
              "'/home/al ex/it'\\''s \"$HOME\" 100\\%\\data'");

    const std::optional<ScheduledBackup> back = ScheduledBackup::fromTimerText(timer);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->setNumber, 7);
    EXPECT_EQ(back->description, backup.description);
    EXPECT_EQ(back->time, backup.time);
    EXPECT_TRUE(back->incremental);
    EXPECT_EQ(back->dataFolder, backup.dataFolder);
    EXPECT_EQ(back->executable, backup.executable);

    // A unit that merely has the name is not one of ours.
    EXPECT_FALSE(ScheduledBackup::fromTimerText("[Timer]\nOnCalendar=daily\n"));

    ScheduledBackup broken = backup;
    broken.dataFolder = "/data\nExecStartPre=/bin/rm";
    EXPECT_THROW(broken.serviceText(), ScheduleError);
    EXPECT_THROW(broken.crontabLine(), ScheduleError);
    broken = backup;
    broken.description = "line\nbreak";
    EXPECT_FALSE(contains(broken.timerText(), "line\nbreak"));
}

TEST_F(DeletedSetSchedules, ASetsScheduleGoesWhenItsDeletionIsSavedAndNotBefore)
{
    const std::string unit = schedule(1, data);
    schedule(2, data);
    Catalog catalog(data);
    catalog.open();
    catalog.deleteSet(1);
    // Until the set file is written the set is still there, and its timer still serves it.
    EXPECT_TRUE(scheduled(1));

    const Catalog::SaveResult saved = catalog.save();
    ASSERT_EQ(saved.status, Catalog::SaveStatus::Saved);
    EXPECT_FALSE(scheduled(1));
    EXPECT_FALSE(fs::exists(schedules.unitPath(unit, ".service")));
    EXPECT_TRUE(scheduled(2));
    EXPECT_TRUE(anyContains(saved.notes, "removed the schedule of the deleted set (" + unit + ".timer)"));
    // Without a user manager the timer may sit in a crontab too.
    EXPECT_TRUE(anyContains(saved.notes, "crontab"));

    // Nothing is left to do for a later save.
    catalog.addSet("Music", "/dest");
    EXPECT_TRUE(catalog.save().notes.empty());
}

TEST_F(DeletedSetSchedules, ADeletionThatIsNotWrittenKeepsTheSchedule)
{
    schedule(1, data);
    Catalog window(data);
    window.open();
    window.deleteSet(1);

    // Another program damages the set file meanwhile: the save writes nothing.
    const std::string categoryFile = data + "/Category.cds";
    const std::string before = stowmere::testing::readText(categoryFile);
    stowmere::testing::writeText(categoryFile, "damaged");
    const Catalog::SaveResult failed = window.save();
    ASSERT_EQ(failed.status, Catalog::SaveStatus::Failed);
    EXPECT_TRUE(scheduled(1));

    // The user gives up writing the file, which still holds the set.
    window.keepFileOnDisk(failed.file);
    EXPECT_EQ(window.save().status, Catalog::SaveStatus::Saved);
    EXPECT_TRUE(scheduled(1));

    // Repaired, and changed by another program: the deletion is made on top of that change,
    // and the schedule goes with it.
    stowmere::testing::writeText(categoryFile, before);
    window.open();
    window.deleteSet(1);
    Catalog other(data);
    other.open();
    other.addSet("Music", "/dest");
    ASSERT_EQ(other.save().status, Catalog::SaveStatus::Saved);
    const Catalog::SaveResult merged = window.save();
    ASSERT_EQ(merged.status, Catalog::SaveStatus::Saved);
    EXPECT_TRUE(merged.merged);
    EXPECT_FALSE(scheduled(1));
    Catalog reread(data);
    reread.open();
    std::vector<std::string> names;
    for (const auto& set : reread.sets())
        names.push_back(set.description);
    EXPECT_EQ(names, (std::vector<std::string>{"Music", "Pictures"}));
}

TEST_F(DeletedSetSchedules, OnlyTheScheduleOfTheSameDataFolderGoesHoweverItIsReached)
{
    const std::string other = madeFolder(temp, "other");
    schedule(1, other);
    Catalog catalog(data);
    catalog.open();
    catalog.deleteSet(1);
    EXPECT_TRUE(catalog.save().notes.empty());
    EXPECT_TRUE(scheduled(1, other));

    // Scheduled through a link to the data folder, deleted through its real name.
    const std::string link = (temp.path() / "link").string();
    fs::create_directory_symlink(data, link);
    schedule(2, link);
    catalog.deleteSet(2);
    EXPECT_TRUE(anyContains(catalog.save().notes, "removed the schedule"));
    EXPECT_FALSE(scheduled(2));
}

TEST_F(DeletedSetSchedules, AScheduleThatCannotBeRemovedIsReportedAndTheSetStillGoes)
{
    const std::string unit = schedule(1, data);
    // A folder where the service file should be: it cannot be removed as a file.
    fs::remove(schedules.unitPath(unit, ".service"));
    fs::create_directories(schedules.unitPath(unit, ".service") + "/stuck");
    Catalog catalog(data);
    catalog.open();
    catalog.deleteSet(1);
    const Catalog::SaveResult saved = catalog.save();
    EXPECT_EQ(saved.status, Catalog::SaveStatus::Saved);
    EXPECT_TRUE(anyContains(saved.notes, "cannot remove " + schedules.unitPath(unit, ".service")));
    EXPECT_TRUE(anyContains(saved.notes, "warning: the set is deleted but its schedule " + unit));
    Catalog reread(data);
    reread.open();
    EXPECT_FALSE(reread.findSet(1));
}

TEST_F(DeletedSetSchedules, SetOneOfTwoDataFoldersHasTwoSchedulesAndTheOldNameIsStillFound)
{
    const std::string other = madeFolder(temp, "other");
    const std::string mine = schedule(1, data);
    const std::string theirs = schedule(1, other);
    EXPECT_NE(mine, theirs);
    EXPECT_EQ(mine, "stowmere-backup-" + ScheduledBackup::folderTag(data) + "-1");
    EXPECT_EQ(ScheduledBackup::folderTag(data).size(), 8u);
    // A timer of an earlier version, named by the set number alone.
    const std::string old = schedule(2, data, true);
    EXPECT_EQ(old, "stowmere-backup-2");
    // A hand-made unit whose name looks like ours but whose metadata names another set.
    stowmere::testing::writeText(schedules.unitPath("stowmere-backup-9", ".timer"),
                                 fs::exists(schedules.unitPath(old, ".timer"))
                                     ? stowmere::testing::readText(schedules.unitPath(old, ".timer"))
                                     : std::string());

    const std::vector<ScheduledBackup> all = schedules.schedules();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_TRUE(scheduled(1, data));
    EXPECT_TRUE(scheduled(1, other));
    EXPECT_EQ(schedules.scheduleOf(2, data)->unitName(), "stowmere-backup-2");

    // Deleting set 2 removes the timer of the old name.
    Catalog catalog(data);
    catalog.open();
    catalog.deleteSet(2);
    EXPECT_TRUE(anyContains(catalog.save().notes, "(stowmere-backup-2.timer)"));
    EXPECT_FALSE(fs::exists(schedules.unitPath(old, ".timer")));
    EXPECT_TRUE(scheduled(1, other));
}
