// SPDX-License-Identifier: GPL-3.0-or-later
// A set deleted in the window loses its daily schedule once the window has written the
// deletion, as one deleted with stowmere-cli does.
#include "AppFixture.h"

#include "catalog/Entities.h"
#include "catalog/ScheduledBackup.h"
#include "catalog/SetSchedules.h"
#include "support/FileContents.h"
#include "support/ScopedEnv.h"

#include <filesystem>
#include <sys/stat.h>

using namespace stowmere::app;
using namespace stowmere::app::testing;
using stowmere::catalog::ScheduledBackup;
using stowmere::catalog::SetSchedules;
using stowmere::testing::ScopedEnv;

namespace {

class DeletedSetSchedule : public AppFixture {
protected:
    std::string under(const char* name) const
    {
        return (std::filesystem::path(folder().toStdString()) / name).string();
    }

    void schedule(std::int32_t number) const
    {
        ScheduledBackup backup;
        backup.setNumber = number;
        backup.time = {2, 30};
        backup.dataFolder = m_dataFolder.toStdString();
        backup.executable = "/usr/bin/stowmere-cli";
        std::filesystem::create_directories(schedules.unitFolder());
        stowmere::testing::writeText(schedules.unitPath(backup.unitName(), ".service"), backup.serviceText());
        stowmere::testing::writeText(schedules.unitPath(backup.unitName(), ".timer"), backup.timerText());
    }

    std::string config = under("config");
    std::string runtime = under("runtime");
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.c_str()};
    ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.c_str()};
    // No user manager answers here, so the removal is done on the files alone.
    ScopedEnv bus{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"};
    SetSchedules schedules{config + "/systemd/user"};
};

} // namespace

TEST_F(DeletedSetSchedule, DeletingASetInTheWindowRemovesItsTimerWhenTheTablesAreWritten)
{
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    start();
    addBackupSet("Docs", "/backup/docs");
    addBackupSet("Music", "/backup/music");
    clickCategory(1);
    const std::int32_t music = main->currentSet()->number;
    clickCategory(0);
    ASSERT_EQ(main->currentSet()->description, "Docs");
    const std::int32_t docs = main->currentSet()->number;
    schedule(docs);
    schedule(music);

    dialogs.setNextAnswer(true);
    click("deleteSetButton");
    EXPECT_EQ(categoryItems(), QStringList{"Music"});
    const std::string dataFolder = m_dataFolder.toStdString();
    EXPECT_TRUE(schedules.scheduleOf(docs, dataFolder))
        << "the set file still holds the set until the window writes it";

    closeMainWindow();
    EXPECT_FALSE(schedules.scheduleOf(docs, dataFolder));
    EXPECT_TRUE(schedules.scheduleOf(music, dataFolder));
    EXPECT_EQ(dialogs.unexpected(), 0);
}
