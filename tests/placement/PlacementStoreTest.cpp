// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement/PlacementStore.h"
#include "placement/FormPosition.h"
#include "placement/IniFile.h"
#include "placement/PlacementKeys.h"
#include "placement/WindowPlacement.h"
#include "platform/Locations.h"

#include "support/FileContents.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QScreen>
#include <QShowEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace stowmere;
using namespace stowmere::placement;
using stowmere::testing::readText;
using stowmere::testing::ScopedEnv;
using stowmere::testing::TempFolder;
using stowmere::testing::writeText;

namespace {

// Stands in for the main window: records when its own handlers run and what it saw.
class PlacedWindow : public QWidget {
    Q_OBJECT
public:
    PlacedWindow()
    {
        resize(400, 300);
        placement = new PlacementStore(this);
        placement->setErrorReport([this](const QString& message) { errors << message; });
    }

    PlacementStore* placement = nullptr;
    QStringList errors;
    QStringList calls;
    QRect geometryAtShow;
    Qt::WindowStates stateAtShow;

protected:
    void showEvent(QShowEvent* event) override
    {
        if (!event->spontaneous()) {
            calls << QStringLiteral("FormShow");
            geometryAtShow = geometry();
            stateAtShow = windowState();
        }
        QWidget::showEvent(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        calls << QStringLiteral("FormClose") + (placement->saveDone() ? "+saved" : "");
        QWidget::closeEvent(event);
    }
};

class PlacementStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_ini = locations::iniFilePath();
        setApplicationMainWindow(nullptr);
    }

    static void setConfigHome(const fs::path& folder) { setenv("XDG_CONFIG_HOME", folder.c_str(), 1); }

    // Writes section PlacedWindow at the current screen's pixels per inch plus the given lines.
    void storeMain(const std::string& lines, int pixelsPerInch = screenPixelsPerInch())
    {
        writeText(m_ini, "[PlacedWindow]\nFormVersion=0\nPixelsPerInch=" + std::to_string(pixelsPerInch) +
                             "\n" + lines);
    }

    std::string value(const std::string& key, const std::string& section = "PlacedWindow") const
    {
        return IniFile(m_ini.string()).readString(section, key, "<missing>");
    }

    // Shows a fresh main window and lets queued work (such as minimising) run.
    static std::unique_ptr<PlacedWindow> shownWindow(WindowPosition position = WindowPosition::Designed)
    {
        auto window = std::make_unique<PlacedWindow>();
        window->setGeometry(30, 40, 400, 300);
        setFormPosition(*window, position);
        window->show();
        QCoreApplication::processEvents();
        return window;
    }

    static QString normPos(const QRect& r)
    {
        return QStringLiteral("%1,%2,%3,%4")
            .arg(r.left())
            .arg(r.top())
            .arg(r.left() + r.width())
            .arg(r.top() + r.height());
    }

    TempFolder m_folder{"placement"};
    // The INI file goes to the temporary folder; the caller's setting comes back afterwards,
    // also after a test moved it with setConfigHome.
    ScopedEnv m_configHome{"XDG_CONFIG_HOME", m_folder.path().c_str()};
    fs::path m_ini;
};

} // namespace

TEST_F(PlacementStoreTest, FirstStartKeepsDesignedPlaceAndCloseWritesEveryKey)
{
    auto window = shownWindow();
    EXPECT_EQ(window->geometry(), QRect(30, 40, 400, 300));
    EXPECT_EQ(window->windowState(), Qt::WindowNoState);
    EXPECT_TRUE(window->placement->restoreDone());
    EXPECT_FALSE(fs::exists(m_ini)) << "restoring writes nothing";

    const QSize frame = frameMetrics(*window);
    window->close();
    EXPECT_TRUE(window->errors.isEmpty()) << window->errors.join('\n').toStdString();
    const std::string suffix = screenSuffix();
    EXPECT_EQ(
        IniFile(m_ini.string()).readSection("PlacedWindow"),
        (std::vector<std::string>{"FormVersion", "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos" + suffix,
                                  "MinMaxPos", "NormPos" + suffix, "NormPos", "Visible"}));
    EXPECT_EQ(value("FormVersion"), "0");
    EXPECT_EQ(value("Flags"), "0");
    EXPECT_EQ(value("ShowCmd"), "1");
    EXPECT_EQ(value("PixelsPerInch"), std::to_string(screenPixelsPerInch()));
    EXPECT_EQ(value("NormPos"), "30,40,430,340");
    EXPECT_EQ(value("NormPos" + suffix), "30,40,430,340");
    // Never minimised or maximised: no minimised position; the maximised one hides the frame.
    EXPECT_EQ(value("MinMaxPos"),
              "-1,-1," + std::to_string(-frame.width()) + "," + std::to_string(-frame.height()));
    EXPECT_EQ(value("MinMaxPos"), value("MinMaxPos" + suffix));
    EXPECT_EQ(value("Visible"), "0");
}

TEST_F(PlacementStoreTest, MaximisedPositionIsLeftAloneUnderSizeConstraints)
{
    storeMain("MinMaxPos=7,8,9,10\n");
    auto constrained = std::make_unique<PlacedWindow>();
    constrained->placement->setPreventResize(true);
    constrained->show();
    constrained->close();
    EXPECT_EQ(value("MinMaxPos"), "7,8,9,10");

    storeMain("MinMaxPos=7,8,9,10\n");
    auto limited = std::make_unique<PlacedWindow>();
    MinMaxInfo info;
    info.minTrackWidth = 100;
    limited->placement->setMinMaxInfo(info);
    limited->show();
    limited->close();
    EXPECT_EQ(value("MinMaxPos"), "7,8,9,10");

    storeMain("MinMaxPos=7,8,9,10\n");
    auto free = shownWindow();
    const QSize frame = frameMetrics(*free);
    free->close();
    EXPECT_EQ(value("MinMaxPos"),
              "7,8," + std::to_string(-frame.width()) + "," + std::to_string(-frame.height()));
}

TEST_F(PlacementStoreTest, RestoresBeforeTheWindowsOwnShowAndSavesBeforeItsOwnClose)
{
    storeMain("ShowCmd=1\nNormPos=50,60,550,460\n");
    auto window = shownWindow();
    EXPECT_EQ(window->geometry(), QRect(50, 60, 500, 400));
    EXPECT_EQ(window->geometryAtShow, QRect(50, 60, 500, 400))
        << "the window's show handler runs after the restore";

    window->setGeometry(70, 80, 420, 310);
    window->close();
    EXPECT_EQ(window->calls, QStringList({"FormShow", "FormClose+saved"}));
    EXPECT_EQ(value("NormPos"), "70,80,490,390");

    auto again = shownWindow();
    EXPECT_EQ(again->geometry(), QRect(70, 80, 420, 310));
}

TEST_F(PlacementStoreTest, WindowClosedMaximisedReopensMaximisedWithItsNormalRectangle)
{
    auto window = shownWindow();
    window->setGeometry(60, 70, 450, 320);
    window->showMaximized();
    QTRY_VERIFY(window->geometry() != QRect(60, 70, 450, 320));
    window->close();
    EXPECT_EQ(value("ShowCmd"), "3");
    EXPECT_EQ(value("NormPos"), "60,70,510,390");

    auto again = shownWindow();
    EXPECT_TRUE(again->isMaximized());
    EXPECT_TRUE(again->stateAtShow & Qt::WindowMaximized);
    EXPECT_EQ(again->normalGeometry(), QRect(60, 70, 450, 320));
    again->showNormal();
    QTRY_COMPARE(again->geometry(), QRect(60, 70, 450, 320));
}

TEST_F(PlacementStoreTest, ShowCommandTwoStartsTheApplicationMinimised)
{
    storeMain("ShowCmd=2\nNormPos=50,60,550,460\n");
    auto window = shownWindow();
    QTRY_VERIFY(window->isMinimized());
    EXPECT_EQ(window->normalGeometry(), QRect(50, 60, 500, 400));

    // Closed while minimised, it is stored minimised again.
    window->close();
    EXPECT_EQ(value("ShowCmd"), "2");
}

TEST_F(PlacementStoreTest, MinimisedFromMaximisedComesBackMaximised)
{
    storeMain("Flags=2\nShowCmd=2\nNormPos=50,60,550,460\n");
    auto window = shownWindow();
    QTRY_VERIFY(window->isMinimized());
    EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
    window->close();
    EXPECT_EQ(value("Flags"), "2");
    EXPECT_EQ(value("ShowCmd"), "2");
}

TEST_F(PlacementStoreTest, OtherPixelsPerInchRestoresStateButNotPositionAndSize)
{
    storeMain("ShowCmd=3\nNormPos=50,60,550,460\n", screenPixelsPerInch() + 24);
    auto window = shownWindow();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->normalGeometry(), QRect(30, 40, 400, 300));
}

TEST_F(PlacementStoreTest, PositionKeysOfTheCurrentScreenWinAndOthersFallBackToThePlainKeys)
{
    storeMain("NormPos(1x1)=1,2,301,202\nNormPos=50,60,550,460\n");
    EXPECT_EQ(shownWindow()->geometry(), QRect(50, 60, 500, 400)) << "no key for this screen: plain key";

    storeMain("NormPos" + screenSuffix() + "=10,20,310,220\nNormPos=50,60,550,460\n");
    EXPECT_EQ(shownWindow()->geometry(), QRect(10, 20, 300, 200));

    storeMain("NormPos" + screenSuffix() + "=\nNormPos=50,60,550,460\n");
    EXPECT_EQ(shownWindow()->geometry(), QRect(50, 60, 500, 400)) << "an empty value counts as missing";
}

TEST_F(PlacementStoreTest, NumbersMaySeparateBySpacesAndCommas)
{
    for (const std::string text : {"50 60 550 460", "50, 60, 550, 460", " 50,,60 ,550   460"}) {
        storeMain("NormPos=" + text + "\nMinMaxPos=-1 -1, -4 -4\n");
        auto window = shownWindow();
        EXPECT_EQ(window->geometry(), QRect(50, 60, 500, 400)) << text;
        window->close();
        EXPECT_EQ(value("NormPos"), "50,60,550,460") << text;
        EXPECT_EQ(value("MinMaxPos").substr(0, 6), "-1,-1,") << text;
    }
}

TEST_F(PlacementStoreTest, MissingOrBadNumbersFallBackToTheWindowsEdges)
{
    storeMain("NormPos=50,60,x\nMinMaxPos=a,5\n");
    auto window = shownWindow();
    // Right and bottom come from the designed window: 30 + 400 and 40 + 300.
    EXPECT_EQ(window->geometry(), QRect(50, 60, 380, 280));
    window->close();
    EXPECT_EQ(value("MinMaxPos").substr(0, 4), "0,5,");
}

TEST_F(PlacementStoreTest, UnknownShowCommandsKeepTheDefaultState)
{
    for (const char* command : {"0", "4", "8", "10", "-1", "junk"}) {
        storeMain(std::string("ShowCmd=") + command + "\n");
        EXPECT_EQ(shownWindow()->windowState(), Qt::WindowNoState) << command;
        // A main window whose place is left to the window system opens maximised by default.
        // (The window above saved its placement when it was destroyed.)
        storeMain(std::string("ShowCmd=") + command + "\n");
        EXPECT_TRUE(shownWindow(WindowPosition::Default)->isMaximized()) << command;
    }
    for (const char* command : {"1", "5", "9"}) {
        storeMain(std::string("ShowCmd=") + command + "\n");
        EXPECT_EQ(shownWindow(WindowPosition::Default)->windowState(), Qt::WindowNoState) << command;
    }
    for (const char* command : {"3", "0x3", "0X03"}) {
        storeMain(std::string("ShowCmd=") + command + "\n");
        EXPECT_TRUE(shownWindow()->isMaximized()) << command;
    }
    for (const char* command : {"6", "7"}) {
        storeMain(std::string("ShowCmd=") + command + "\n");
        auto window = shownWindow();
        QTRY_VERIFY(window->isMinimized());
    }
}

TEST_F(PlacementStoreTest, DefaultStateIsNormalForAWindowThatIsNotTheMainWindow)
{
    QWidget main;
    setApplicationMainWindow(&main);
    storeMain("ShowCmd=8\n");
    EXPECT_EQ(shownWindow(WindowPosition::Default)->windowState(), Qt::WindowNoState);

    // Not the main window: minimised directly, without minimising the application.
    storeMain("ShowCmd=2\n");
    auto window = shownWindow();
    EXPECT_TRUE(window->isMinimized());
}

TEST_F(PlacementStoreTest, EmptyRectanglesAreNotApplied)
{
    for (const char* normPos : {"500,60,500,460", "500,60,100,460", "50,460,550,460", "50,460,550,60"}) {
        storeMain(std::string("NormPos=") + normPos + "\n");
        EXPECT_EQ(shownWindow()->geometry(), QRect(30, 40, 400, 300)) << normPos;
    }
}

TEST_F(PlacementStoreTest, RectangleOffEveryScreenIsBroughtBackOntoThePrimaryScreen)
{
    storeMain("NormPos=5000,4000,5300,4200\n");
    auto window = shownWindow();
    EXPECT_EQ(window->size(), QSize(300, 200));
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(window->geometry()));

    // Partly on a screen is left where it was put.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect partly(screen.right() - 100, screen.bottom() - 100, 300, 200);
    storeMain("NormPos=" + normPos(partly).toStdString() + "\n");
    EXPECT_EQ(shownWindow()->geometry(), partly);
}

TEST_F(PlacementStoreTest, CentringIsSwitchedOffOnlyWhenAPlaceIsRestored)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    auto first = shownWindow(WindowPosition::ScreenCenter);
    EXPECT_EQ(first->frameGeometry().center(), area.center()) << "no file: centred";
    EXPECT_EQ(formPosition(*first), WindowPosition::ScreenCenter);
    first->close();

    storeMain("NormPos=50,60,350,260\n");
    auto window = shownWindow(WindowPosition::ScreenCenter);
    EXPECT_EQ(window->geometry(), QRect(50, 60, 300, 200));
    EXPECT_EQ(formPosition(*window), WindowPosition::Designed);

    storeMain("NormPos=50,60,350,260\n", screenPixelsPerInch() + 1);
    auto otherDpi = shownWindow(WindowPosition::ScreenCenter);
    EXPECT_EQ(otherDpi->frameGeometry().center(), area.center());
}

TEST_F(PlacementStoreTest, FixedSizeWindowGetsItsPlaceButKeepsItsSize)
{
    storeMain("NormPos=50,60,550,460\n");
    PlacedWindow window;
    window.setFixedSize(400, 300);
    window.show();
    EXPECT_EQ(window.geometry(), QRect(50, 60, 400, 300));
    EXPECT_EQ(formBorderStyle(window), BorderStyle::Single);
}

TEST_F(PlacementStoreTest, LowerStoredVersionSuppressesTheRestore)
{
    storeMain("ShowCmd=3\nNormPos=50,60,550,460\n");
    auto window = std::make_unique<PlacedWindow>();
    window->setGeometry(30, 40, 400, 300);
    window->placement->setVersion(2);
    QSignalSpy restored(window->placement, &PlacementStore::placementRestored);
    window->show();
    EXPECT_EQ(window->geometry(), QRect(30, 40, 400, 300));
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(restored.count(), 0);
    EXPECT_TRUE(window->placement->restoreDone());

    QSignalSpy saved(window->placement, &PlacementStore::placementSaved);
    window->close();
    EXPECT_EQ(value("FormVersion"), "2");
    EXPECT_EQ(saved.count(), 1);
}

TEST_F(PlacementStoreTest, KeepsOtherSectionsAndKeysOfTheFile)
{
    writeText(m_ini, "; mine\n[Other]\nA=\"quoted\"\n\n[PlacedWindow]\nCustom=1\nNormPos=50,60,550,460\n");
    auto window = shownWindow();
    window->close();
    const std::string text = readText(m_ini);
    EXPECT_EQ(
        text.rfind("; mine\n[Other]\nA=\"quoted\"\n\n[PlacedWindow]\nCustom=1\nNormPos=50,60,550,460\n", 0),
        0u)
        << text;
    EXPECT_EQ(value("A", "Other"), "quoted");
}

TEST_F(PlacementStoreTest, RefusedWriteIsReportedAndTheWindowStillOpensAndCloses)
{
    const fs::path regular = m_folder.path() / "regular";
    writeText(regular, "not a folder");
    setConfigHome(regular / "config");
    const std::string ini = locations::iniFilePath();

    auto window = shownWindow();
    EXPECT_TRUE(window->isVisible());
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->calls, QStringList({"FormShow", "FormClose+saved"}));
    EXPECT_EQ(window->errors, QStringList({QString::fromStdString("Unable to write to " + ini)}));

    window.reset();
    EXPECT_EQ(readText(regular), "not a folder");
}

TEST_F(PlacementStoreTest, CloseQueryThatRefusesKeepsTheWindowOpenAndSavesNothing)
{
    auto window = shownWindow();
    bool allow = false;
    window->placement->setCloseQueryHandler([&allow] { return allow; });
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->calls, QStringList({"FormShow"}));
    EXPECT_FALSE(fs::exists(m_ini));

    allow = true;
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(fs::exists(m_ini));
}

TEST_F(PlacementStoreTest, DestroySavesOnlyWhatCloseDidNotSave)
{
    {
        auto window = shownWindow();
        window->setGeometry(60, 70, 300, 200);
    } // destroyed without closing
    EXPECT_EQ(value("Visible"), "1");
    EXPECT_EQ(value("NormPos"), "60,70,360,270");

    {
        auto window = shownWindow();
        window->close();
        EXPECT_EQ(value("Visible"), "0");
        fs::remove(m_ini);
    }
    EXPECT_FALSE(fs::exists(m_ini)) << "the save at close is not repeated when the window is destroyed";

    {
        PlacedWindow neverShown;
    }
    EXPECT_FALSE(fs::exists(m_ini)) << "a window that was never shown does not overwrite the placement";
}

TEST_F(PlacementStoreTest, InactiveStoreNeitherRestoresNorSaves)
{
    storeMain("NormPos=50,60,550,460\n");
    const std::string before = readText(m_ini);
    auto window = std::make_unique<PlacedWindow>();
    window->placement->setActive(false);
    window->setGeometry(30, 40, 400, 300);
    window->show();
    EXPECT_EQ(window->geometry(), QRect(30, 40, 400, 300));
    window->close();
    window.reset();
    EXPECT_EQ(readText(m_ini), before);
}

TEST_F(PlacementStoreTest, NamedFileAndSectionAndActiveControl)
{
    auto window = std::make_unique<PlacedWindow>();
    auto* edit = new QWidget(window.get());
    edit->setObjectName("edtName");
    edit->setFocusPolicy(Qt::StrongFocus);
    window->placement->setIniFileName("Custom.INI");
    window->placement->setIniSection("Editor");
    window->placement->setOptions(PlacementOption::Position | PlacementOption::ActiveControl);
    EXPECT_EQ(window->placement->iniFilePath(), (m_folder.path() / "Custom.INI").string());
    window->show();
    window->activateWindow();
    edit->setFocus();
    window->close();
    const IniFile ini((m_folder.path() / "Custom.INI").string());
    EXPECT_EQ(ini.readString("Editor", "ActiveControl", ""), "edtName");
    EXPECT_EQ(ini.readString("Editor", "NormPos", ""), normPos(window->geometry()).toStdString());
    EXPECT_FALSE(fs::exists(m_ini));
}

TEST_F(PlacementStoreTest, AnActiveControlStoredUnderItsFormerNameGetsTheFocus)
{
    for (const bool mapped : {false, true}) {
        // An INI file written while the widgets had their former names.
        storeMain("ActiveControl=btnOld\n");
        auto window = std::make_unique<PlacedWindow>();
        auto* other = new QLineEdit(window.get());
        other->setObjectName("first");
        auto* renamed = new QLineEdit(window.get());
        renamed->setObjectName("renamedField");
        window->placement->setOptions(PlacementOption::Position | PlacementOption::ActiveControl);
        if (mapped)
            window->placement->setFormerControlNames({{"btnOld", "renamedField"}});
        window->show();
        window->activateWindow();
        QCoreApplication::processEvents();
        EXPECT_EQ(window->focusWidget() == renamed, mapped) << "mapped: " << mapped;
        if (mapped) {
            window->close();
            EXPECT_EQ(value("ActiveControl"), "renamedField") << "the current name is written back";
        }
        window->hide();
    }
}

TEST_F(PlacementStoreTest, SectionIsTheWindowsClassNameWithoutNamespace)
{
    PlacedWindow window;
    EXPECT_EQ(window.placement->iniSectionName(), "PlacedWindow");
    EXPECT_EQ(window.placement->options(), PlacementOption::State | PlacementOption::Position);
    EXPECT_TRUE(window.placement->active());
    EXPECT_EQ(window.placement->version(), 0);
    EXPECT_TRUE(window.placement->minMaxInfo().isDefault());
}

TEST_F(PlacementStoreTest, OptionsChooseBetweenPositionAndState)
{
    storeMain("ShowCmd=3\nNormPos=50,60,550,460\n");
    auto stateOnly = std::make_unique<PlacedWindow>();
    stateOnly->setGeometry(30, 40, 400, 300);
    stateOnly->placement->setOptions(PlacementOption::State);
    stateOnly->show();
    EXPECT_TRUE(stateOnly->isMaximized());
    EXPECT_EQ(stateOnly->normalGeometry(), QRect(30, 40, 400, 300));
    stateOnly->placement->setActive(false);

    auto positionOnly = std::make_unique<PlacedWindow>();
    positionOnly->placement->setOptions(PlacementOption::Position);
    positionOnly->show();
    EXPECT_FALSE(positionOnly->isMaximized());
    EXPECT_EQ(positionOnly->geometry(), QRect(50, 60, 500, 400));
    positionOnly->placement->setActive(false);
}

TEST(FormBorderStyle, FollowsWindowFlagsAndSizeLimits)
{
    QWidget sizeable;
    EXPECT_EQ(formBorderStyle(sizeable), BorderStyle::Sizeable);
    QWidget single;
    single.setFixedSize(100, 100);
    EXPECT_EQ(formBorderStyle(single), BorderStyle::Single);
    QWidget dialog(nullptr, Qt::Dialog);
    dialog.setFixedSize(100, 100);
    EXPECT_EQ(formBorderStyle(dialog), BorderStyle::Dialog);
    QWidget tool(nullptr, Qt::Tool);
    EXPECT_EQ(formBorderStyle(tool), BorderStyle::SizeToolWin);
    tool.setFixedSize(100, 100);
    EXPECT_EQ(formBorderStyle(tool), BorderStyle::ToolWindow);
    QWidget frameless(nullptr, Qt::FramelessWindowHint);
    EXPECT_EQ(formBorderStyle(frameless), BorderStyle::None);
    frameless.show();
    EXPECT_EQ(frameMetrics(frameless), QSize(0, 0));
}

TEST(ApplicationErrorText, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt)
{
    EXPECT_EQ(PlacementStore::applicationErrorText("Unable to write to /home/u/.config/stowmere.INI"),
              "Unable to write to /home/u/.config/stowmere.INI.");
    EXPECT_EQ(PlacementStore::applicationErrorText("Done."), "Done.");
    EXPECT_EQ(PlacementStore::applicationErrorText("Stop!"), "Stop!");
    EXPECT_EQ(PlacementStore::applicationErrorText("(x)"), "(x)");
    EXPECT_EQ(PlacementStore::applicationErrorText("/"), "/.");
    EXPECT_EQ(PlacementStore::applicationErrorText(""), "");
}

#include "PlacementStoreTest.moc"
