// SPDX-License-Identifier: GPL-3.0-or-later
// The window over damaged, linked and locked table files.
#include "AppFixture.h"

#include "app/CheckListBox.h"
#include "catalog/Catalog.h"
#include "catalog/Schema.h"
#include "platform/FileLock.h"
#include "store/Table.h"
#include "support/DamagedTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>

using namespace stowmere::app;
using namespace stowmere::app::testing;
using stowmere::testing::DamagedTables;

namespace {

void writeBytes(const QString& path, const std::vector<std::byte>& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

QByteArray asBytes(const std::vector<std::byte>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

class DamagedTablesInTheWindow : public AppFixture, public ::testing::WithParamInterface<DamagedTables> {};

std::string caseName(const ::testing::TestParamInfo<DamagedTables>& info)
{
    return info.param.name;
}

using TablesSafety = AppFixture;

} // namespace

TEST_P(DamagedTablesInTheWindow, AreRefusedOrReportedAndNeverOverwritten)
{
    const DamagedTables& damage = GetParam();
    writeBytes(folder() + "/Category.cds", damage.category);
    writeBytes(folder() + "/Path.cds", damage.path);
    start();
    const QString message = QString::fromStdString(damage.message);
    if (damage.expect == DamagedTables::Expect::Refused) {
        ASSERT_EQ(dialogs.messages().size(), 1u);
        EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Error);
        EXPECT_TRUE(dialogs.texts()[0].contains(folder() + "/" + QString::fromStdString(damage.file)))
            << dialogs.texts()[0].toStdString();
        EXPECT_TRUE(dialogs.texts()[0].contains(message)) << dialogs.texts()[0].toStdString();
        dialogs.clear();
        click("addSetButton");
        ASSERT_EQ(dialogs.messages().size(), 1u) << "refused, saying why";
        EXPECT_TRUE(dialogs.texts()[0].contains(QString::fromStdString(damage.file)))
            << dialogs.texts()[0].toStdString();
        EXPECT_FALSE(main->editor()->isVisible());
    } else {
        if (damage.expect == DamagedTables::Expect::Reported) {
            ASSERT_EQ(dialogs.messages().size(), 1u);
            EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Information);
            EXPECT_TRUE(dialogs.texts()[0].contains(message)) << dialogs.texts()[0].toStdString();
        } else {
            EXPECT_TRUE(dialogs.messages().empty());
        }
        addBackupSet("new", "/backup/new");
        ASSERT_TRUE(main->currentSet());
        EXPECT_EQ(main->currentSet()->number, damage.nextSetNumber);
        EXPECT_TRUE(pathItems().isEmpty()) << "a new set inherits no paths";
    }
    closeMainWindow();
    EXPECT_EQ(fileBytes(folder() + "/Path.cds"), asBytes(damage.path)) << "the path file is never rewritten";
    if (damage.expect == DamagedTables::Expect::Refused) {
        EXPECT_EQ(fileBytes(folder() + "/Category.cds"), asBytes(damage.category));
    }
}

INSTANTIATE_TEST_SUITE_P(Window, DamagedTablesInTheWindow,
                         ::testing::ValuesIn(stowmere::testing::damagedTableCases()), caseName);

TEST_F(TablesSafety, ASetWhosePathsCouldNotBeReadIsNotDeleted)
{
    start();
    addBackupSet("Docs", "/backup/docs");
    closeMainWindow();
    destroyWindows();
    const QByteArray categories = fileBytes(folder() + "/Category.cds");
    QFile damaged(folder() + "/Path.cds");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a table file");
    damaged.close();

    start();
    EXPECT_EQ(categoryItems(), QStringList{"Docs"}) << "the sets are still listed";
    dialogs.clear();
    clickCategory(0);
    dialogs.setNextAnswer(true);
    click("deleteSetButton");
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Error);
    EXPECT_TRUE(dialogs.texts()[0].contains("Path.cds")) << dialogs.texts()[0].toStdString();
    EXPECT_EQ(categoryItems(), QStringList{"Docs"});
    dialogs.clear();
    dialogs.setNextFolder(folder());
    click("addFolderButton");
    EXPECT_EQ(dialogs.messages().size(), 1u) << "no path can be added either";
    closeMainWindow();
    EXPECT_EQ(fileBytes(folder() + "/Category.cds"), categories);
    EXPECT_EQ(fileBytes(folder() + "/Path.cds"), QByteArray("not a table file"));
}

TEST_F(TablesSafety, TheLockIsNotHeldWhileTheWindowAsksAndLinksAreSavedThrough)
{
    const QString synced = folder() + "/synced";
    const QString data = folder() + "/data";
    ASSERT_TRUE(QDir().mkpath(synced));
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(QFile::link(synced + "/Category.cds", data + "/Category.cds"));
    {
        stowmere::catalog::Catalog first(data.toStdString());
        first.openForChange();
        first.addSet("Docs", "/backup/docs");
        ASSERT_EQ(first.save().status, stowmere::catalog::Catalog::SaveStatus::Saved);
    }
    start(data);
    whenEditorShows([](SetEditorDialog& shown) { fillAndSave(shown, "Mine", "/backup/docs"); });
    doubleClickCategory(0);
    ASSERT_EQ(categoryItems(), QStringList{"Mine"});
    {
        // stowmere-cli renames the same set while the window is open.
        stowmere::catalog::Catalog other(data.toStdString());
        other.openForChange();
        other.updateSet(1, "Theirs", "/backup/docs");
        ASSERT_EQ(other.save().status, stowmere::catalog::Catalog::SaveStatus::Saved);
    }
    bool lockFree = false;
    dialogs.setOnMessage([&](MessageKind, const QString&) {
        lockFree = stowmere::files::FileLock::acquire((synced + "/.stowmere-tables.lock").toStdString(),
                                                      std::chrono::milliseconds(0))
                       .has_value();
    });
    dialogs.setNextAnswer(true);
    closeMainWindow();
    ASSERT_EQ(dialogs.messages().size(), 2u);
    EXPECT_EQ(dialogs.messages()[0].kind, MessageKind::Confirmation);
    EXPECT_TRUE(dialogs.texts()[0].contains("Keep both?")) << dialogs.texts()[0].toStdString();
    EXPECT_EQ(dialogs.messages()[1].kind, MessageKind::Information) << "what became of both is told";
    EXPECT_TRUE(lockFree) << "another program can change the files while the question is open";
    EXPECT_TRUE(QFileInfo(data + "/Category.cds").isSymLink()) << "the link is still a link";

    stowmere::catalog::Catalog reread(synced.toStdString());
    reread.open();
    ASSERT_EQ(reread.sets().size(), 2u) << "Yes kept both, in the file the link names";
    EXPECT_EQ(reread.findSet(1)->description, "Theirs");
    EXPECT_EQ(reread.findSet(2)->description, "Mine");
}
