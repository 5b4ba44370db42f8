// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement/TFormPlacement.h"
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
using stowmere::testing::readText;
using stowmere::testing::ScopedEnv;
using stowmere::testing::TempFolder;
using stowmere::testing::writeText;

namespace {

// Stands in for the main window: records when its own handlers run and what it saw.
class TfrmMain : public QWidget {
    Q_OBJECT
public:
    TfrmMain()
    {
        resize(400, 300);
        FormPlacement1 = new TFormPlacement(this);
        FormPlacement1->setErrorReport([this](const QString& message) { errors << message; });
    }

    TFormPlacement* FormPlacement1 = nullptr;
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
        calls << QStringLiteral("FormClose") + (FormPlacement1->saveDone() ? "+saved" : "");
        QWidget::closeEvent(event);
    }
};

class FormPlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_ini = locations::iniFilePath();
        setApplicationMainWindow(nullptr);
    }

    static void setConfigHome(const fs::path& folder) { setenv("XDG_CONFIG_HOME", folder.c_str(), 1); }

    // Writes section TfrmMain at the current screen's pixels per inch plus the given lines.
    void storeMain(const std::string& lines, int pixelsPerInch = screenPixelsPerInch())
    {
        writeText(m_ini,
                  "[TfrmMain]\nFormVersion=0\nPixelsPerInch=" + std::to_string(pixelsPerInch) + "\n" + lines);
    }

    std::string value(const std::string& key, const std::string& section = "TfrmMain") const
    {
        return IniFile(m_ini.string()).readString(section, key, "<missing>");
    }

    // Shows a fresh main window and lets queued work (such as minimising) run.
    static std::unique_ptr<TfrmMain> shownWindow(TPosition position = TPosition::poDesigned)
    {
        auto window = std::make_unique<TfrmMain>();
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

TEST_F(FormPlacementTest, FirstStartKeepsDesignedPlaceAndCloseWritesEveryKey)
{
    auto window = shownWindow();
    EXPECT_EQ(window->geometry(), QRect(30, 40, 400, 300));
    EXPECT_EQ(window->windowState(), Qt::WindowNoState);
    EXPECT_TRUE(window->FormPlacement1->restoreDone());
    EXPECT_FALSE(fs::exists(m_ini)) << "restoring writes nothing";

    const QSize frame = frameMetrics(*window);
    window->close();
    EXPECT_TRUE(window->errors.isEmpty()) << window->errors.join('\n').toStdString();
    const std::string suffix = screenSuffix();
    EXPECT_EQ(
        IniFile(m_ini.string()).readSection("TfrmMain"),
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

TEST_F(FormPlacementTest, MaximisedPositionIsLeftAloneUnderSizeConstraints)
{
    storeMain("MinMaxPos=7,8,9,10\n");
    auto constrained = std::make_unique<TfrmMain>();
    constrained->FormPlacement1->setPreventResize(true);
    constrained->show();
    constrained->close();
    EXPECT_EQ(value("MinMaxPos"), "7,8,9,10");

    storeMain("MinMaxPos=7,8,9,10\n");
    auto limited = std::make_unique<TfrmMain>();
    TWinMinMaxInfo info;
    info.MinTrackWidth = 100;
    limited->FormPlacement1->setMinMaxInfo(info);
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

TEST_F(FormPlacementTest, RestoresBeforeTheWindowsOwnShowAndSavesBeforeItsOwnClose)
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

TEST_F(FormPlacementTest, WindowClosedMaximisedReopensMaximisedWithItsNormalRectangle)
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

TEST_F(FormPlacementTest, ShowCommandTwoStartsTheApplicationMinimised)
{
    storeMain("ShowCmd=2\nNormPos=50,60,550,460\n");
    auto window = shownWindow();
    QTRY_VERIFY(window->isMinimized());
    EXPECT_EQ(window->normalGeometry(), QRect(50, 60, 500, 400));

    // Closed while minimised, it is stored minimised again.
    window->close();
    EXPECT_EQ(value("ShowCmd"), "2");
}

TEST_F(FormPlacementTest, MinimisedFromMaximisedComesBackMaximised)
{
    storeMain("Flags=2\nShowCmd=2\nNormPos=50,60,550,460\n");
    auto window = shownWindow();
    QTRY_VERIFY(window->isMinimized());
    EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
    window->close();
    EXPECT_EQ(value("Flags"), "2");
    EXPECT_EQ(value("ShowCmd"), "2");
}

TEST_F(FormPlacementTest, OtherPixelsPerInchRestoresStateButNotPositionAndSize)
{
    storeMain("ShowCmd=3\nNormPos=50,60,550,460\n", screenPixelsPerInch() + 24);
    auto window = shownWindow();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->normalGeometry(), QRect(30, 40, 400, 300));
}

TEST_F(FormPlacementTest, PositionKeysOfTheCurrentScreenWinAndOthersFallBackToThePlainKeys)
{
    storeMain("NormPos(1x1)=1,2,301,202\nNormPos=50,60,550,460\n");
    EXPECT_EQ(shownWindow()->geometry(), QRect(50, 60, 500, 400)) << "no key for this screen: plain key";

    storeMain("NormPos" + screenSuffix() + "=10,20,310,220\nNormPos=50,60,550,460\n");
    EXPECT_EQ(shownWindow()->geometry(), QRect(10, 20, 300, 200));

    storeMain("NormPos" + screenSuffix() + "=\nNormPos=50,60,550,460\n");
    EXPECT_EQ(shownWindow()->geometry(), QRect(50, 60, 500, 400)) << "an empty value counts as missing";
}

TEST_F(FormPlacementTest, NumbersMaySeparateBySpacesAndCommas)
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

TEST_F(FormPlacementTest, MissingOrBadNumbersFallBackToTheWindowsEdges)
{
    storeMain("NormPos=50,60,x\nMinMaxPos=a,5\n");
    auto window = shownWindow();
    // Right and bottom come from the designed window: 30 + 400 and 40 + 300.
    EXPECT_EQ(window->geometry(), QRect(50, 60, 380, 280));
    window->close();
    EXPECT_EQ(value("MinMaxPos").substr(0, 4), "0,5,");
}

TEST_F(FormPlacementTest, UnknownShowCommandsKeepTheDefaultState)
{
    for (const char* command : {"0", "4", "8", "10", "-1", "junk"}) {
        storeMain(std::string("ShowCmd=") + command + "\n");
        EXPECT_EQ(shownWindow()->windowState(), Qt::WindowNoState) << command;
        // A main window whose place is left to the window system opens maximised by default.
        // (The window above saved its placement when it was destroyed.)
        storeMain(std::string("ShowCmd=") + command + "\n");
        EXPECT_TRUE(shownWindow(TPosition::poDefault)->isMaximized()) << command;
    }
    for (const char* command : {"1", "5", "9"}) {
        storeMain(std::string("ShowCmd=") + command + "\n");
        EXPECT_EQ(shownWindow(TPosition::poDefault)->windowState(), Qt::WindowNoState) << command;
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

TEST_F(FormPlacementTest, DefaultStateIsNormalForAWindowThatIsNotTheMainWindow)
{
    QWidget main;
    setApplicationMainWindow(&main);
    storeMain("ShowCmd=8\n");
    EXPECT_EQ(shownWindow(TPosition::poDefault)->windowState(), Qt::WindowNoState);

    // Not the main window: minimised directly, without minimising the application.
    storeMain("ShowCmd=2\n");
    auto window = shownWindow();
    EXPECT_TRUE(window->isMinimized());
}

TEST_F(FormPlacementTest, EmptyRectanglesAreNotApplied)
{
    for (const char* normPos : {"500,60,500,460", "500,60,100,460", "50,460,550,460", "50,460,550,60"}) {
        storeMain(std::string("NormPos=") + normPos + "\n");
        EXPECT_EQ(shownWindow()->geometry(), QRect(30, 40, 400, 300)) << normPos;
    }
}

TEST_F(FormPlacementTest, RectangleOffEveryScreenIsBroughtBackOntoThePrimaryScreen)
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

TEST_F(FormPlacementTest, CentringIsSwitchedOffOnlyWhenAPlaceIsRestored)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    auto first = shownWindow(TPosition::poScreenCenter);
    EXPECT_EQ(first->frameGeometry().center(), area.center()) << "no file: centred";
    EXPECT_EQ(formPosition(*first), TPosition::poScreenCenter);
    first->close();

    storeMain("NormPos=50,60,350,260\n");
    auto window = shownWindow(TPosition::poScreenCenter);
    EXPECT_EQ(window->geometry(), QRect(50, 60, 300, 200));
    EXPECT_EQ(formPosition(*window), TPosition::poDesigned);

    storeMain("NormPos=50,60,350,260\n", screenPixelsPerInch() + 1);
    auto otherDpi = shownWindow(TPosition::poScreenCenter);
    EXPECT_EQ(otherDpi->frameGeometry().center(), area.center());
}

TEST_F(FormPlacementTest, FixedSizeWindowGetsItsPlaceButKeepsItsSize)
{
    storeMain("NormPos=50,60,550,460\n");
    TfrmMain window;
    window.setFixedSize(400, 300);
    window.show();
    EXPECT_EQ(window.geometry(), QRect(50, 60, 400, 300));
    EXPECT_EQ(formBorderStyle(window), TFormBorderStyle::bsSingle);
}

TEST_F(FormPlacementTest, LowerStoredVersionSuppressesTheRestore)
{
    storeMain("ShowCmd=3\nNormPos=50,60,550,460\n");
    auto window = std::make_unique<TfrmMain>();
    window->setGeometry(30, 40, 400, 300);
    window->FormPlacement1->setVersion(2);
    QSignalSpy restored(window->FormPlacement1, &TFormPlacement::OnRestorePlacement);
    window->show();
    EXPECT_EQ(window->geometry(), QRect(30, 40, 400, 300));
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(restored.count(), 0);
    EXPECT_TRUE(window->FormPlacement1->restoreDone());

    QSignalSpy saved(window->FormPlacement1, &TFormPlacement::OnSavePlacement);
    window->close();
    EXPECT_EQ(value("FormVersion"), "2");
    EXPECT_EQ(saved.count(), 1);
}

TEST_F(FormPlacementTest, KeepsOtherSectionsAndKeysOfTheFile)
{
    writeText(m_ini, "; mine\n[Other]\nA=\"quoted\"\n\n[TfrmMain]\nCustom=1\nNormPos=50,60,550,460\n");
    auto window = shownWindow();
    window->close();
    const std::string text = readText(m_ini);
    EXPECT_EQ(text.rfind("; mine\n[Other]\nA=\"quoted\"\n\n[TfrmMain]\nCustom=1\nNormPos=50,60,550,460\n", 0),
              0u)
        << text;
    EXPECT_EQ(value("A", "Other"), "quoted");
}

TEST_F(FormPlacementTest, RefusedWriteIsReportedAndTheWindowStillOpensAndCloses)
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

TEST_F(FormPlacementTest, CloseQueryThatRefusesKeepsTheWindowOpenAndSavesNothing)
{
    auto window = shownWindow();
    bool allow = false;
    window->FormPlacement1->setCloseQueryHandler([&allow] { return allow; });
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->calls, QStringList({"FormShow"}));
    EXPECT_FALSE(fs::exists(m_ini));

    allow = true;
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(fs::exists(m_ini));
}

TEST_F(FormPlacementTest, DestroySavesOnlyWhatCloseDidNotSave)
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
        TfrmMain neverShown;
    }
    EXPECT_FALSE(fs::exists(m_ini)) << "a window that was never shown does not overwrite the placement";
}

TEST_F(FormPlacementTest, InactiveStoreNeitherRestoresNorSaves)
{
    storeMain("NormPos=50,60,550,460\n");
    const std::string before = readText(m_ini);
    auto window = std::make_unique<TfrmMain>();
    window->FormPlacement1->setActive(false);
    window->setGeometry(30, 40, 400, 300);
    window->show();
    EXPECT_EQ(window->geometry(), QRect(30, 40, 400, 300));
    window->close();
    window.reset();
    EXPECT_EQ(readText(m_ini), before);
}

TEST_F(FormPlacementTest, NamedFileAndSectionAndActiveControl)
{
    auto window = std::make_unique<TfrmMain>();
    auto* edit = new QWidget(window.get());
    edit->setObjectName("edtName");
    edit->setFocusPolicy(Qt::StrongFocus);
    window->FormPlacement1->setIniFileName("Custom.INI");
    window->FormPlacement1->setIniSection("Editor");
    window->FormPlacement1->setOptions(TPlacementOption::fpPosition | TPlacementOption::fpActiveControl);
    EXPECT_EQ(window->FormPlacement1->iniFilePath(), (m_folder.path() / "Custom.INI").string());
    window->show();
    window->activateWindow();
    edit->setFocus();
    window->close();
    const IniFile ini((m_folder.path() / "Custom.INI").string());
    EXPECT_EQ(ini.readString("Editor", "ActiveControl", ""), "edtName");
    EXPECT_EQ(ini.readString("Editor", "NormPos", ""), normPos(window->geometry()).toStdString());
    EXPECT_FALSE(fs::exists(m_ini));
}

TEST_F(FormPlacementTest, SectionIsTheWindowsClassNameWithoutNamespace)
{
    TfrmMain window;
    EXPECT_EQ(window.FormPlacement1->iniSectionName(), "TfrmMain");
    EXPECT_EQ(window.FormPlacement1->options(), TPlacementOption::fpState | TPlacementOption::fpPosition);
    EXPECT_TRUE(window.FormPlacement1->active());
    EXPECT_EQ(window.FormPlacement1->version(), 0);
    EXPECT_TRUE(window.FormPlacement1->minMaxInfo().isDefault());
}

TEST_F(FormPlacementTest, OptionsChooseBetweenPositionAndState)
{
    storeMain("ShowCmd=3\nNormPos=50,60,550,460\n");
    auto stateOnly = std::make_unique<TfrmMain>();
    stateOnly->setGeometry(30, 40, 400, 300);
    stateOnly->FormPlacement1->setOptions(TPlacementOption::fpState);
    stateOnly->show();
    EXPECT_TRUE(stateOnly->isMaximized());
    EXPECT_EQ(stateOnly->normalGeometry(), QRect(30, 40, 400, 300));
    stateOnly->FormPlacement1->setActive(false);

    auto positionOnly = std::make_unique<TfrmMain>();
    positionOnly->FormPlacement1->setOptions(TPlacementOption::fpPosition);
    positionOnly->show();
    EXPECT_FALSE(positionOnly->isMaximized());
    EXPECT_EQ(positionOnly->geometry(), QRect(50, 60, 500, 400));
    positionOnly->FormPlacement1->setActive(false);
}

TEST(FormBorderStyle, FollowsWindowFlagsAndSizeLimits)
{
    QWidget sizeable;
    EXPECT_EQ(formBorderStyle(sizeable), TFormBorderStyle::bsSizeable);
    QWidget single;
    single.setFixedSize(100, 100);
    EXPECT_EQ(formBorderStyle(single), TFormBorderStyle::bsSingle);
    QWidget dialog(nullptr, Qt::Dialog);
    dialog.setFixedSize(100, 100);
    EXPECT_EQ(formBorderStyle(dialog), TFormBorderStyle::bsDialog);
    QWidget tool(nullptr, Qt::Tool);
    EXPECT_EQ(formBorderStyle(tool), TFormBorderStyle::bsSizeToolWin);
    tool.setFixedSize(100, 100);
    EXPECT_EQ(formBorderStyle(tool), TFormBorderStyle::bsToolWindow);
    QWidget frameless(nullptr, Qt::FramelessWindowHint);
    EXPECT_EQ(formBorderStyle(frameless), TFormBorderStyle::bsNone);
    frameless.show();
    EXPECT_EQ(frameMetrics(frameless), QSize(0, 0));
}

TEST(ApplicationErrorText, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt)
{
    EXPECT_EQ(TFormPlacement::applicationErrorText("Unable to write to /home/u/.config/stowmere.INI"),
              "Unable to write to /home/u/.config/stowmere.INI.");
    EXPECT_EQ(TFormPlacement::applicationErrorText("Done."), "Done.");
    EXPECT_EQ(TFormPlacement::applicationErrorText("Stop!"), "Stop!");
    EXPECT_EQ(TFormPlacement::applicationErrorText("(x)"), "(x)");
    EXPECT_EQ(TFormPlacement::applicationErrorText("/"), "/.");
    EXPECT_EQ(TFormPlacement::applicationErrorText(""), "");
}

#include "TFormPlacementTest.moc"
