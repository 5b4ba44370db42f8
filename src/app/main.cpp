// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "app/QtDialogs.h"
#include "app/SessionEnd.h"
#include "app/SetEditorDialog.h"
#include "app/StartOptions.h"
#include "app/StowmereApplication.h"
#include "app/Translations.h"
#include "platform/Locations.h"
#include "platform/ProcessPriority.h"
#include "progress/ProgressWindow.h"

#include <QCoreApplication>
#include <QLocale>
#include <QSessionManager>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    using namespace stowmere;
    using app::StartOptions;
    // Help and version need no display: they are answered before Qt looks for one.
    switch (StartOptions::beforeQt(std::vector<std::string>(argv + 1, argv + argc))) {
    case StartOptions::Action::ShowHelp: {
        // A core application needs no display, and is enough for the help in the user's
        // language.
        const QCoreApplication core(argc, argv);
        app::Translations translations;
        translations.install(QLocale::system());
        std::cout << StartOptions::helpText() << std::flush;
        return std::cout ? 0 : 1;
    }
    case StartOptions::Action::ShowVersion:
        std::cout << StartOptions::versionText() << '\n' << std::flush;
        return std::cout ? 0 : 1;
    case StartOptions::Action::OpenWindow:
        break;
    }
    app::QtDialogs dialogs;
    app::StowmereApplication application(argc, argv, dialogs);
    // Qt has taken its own options out of argv; anything left is a mistake, not a wish to
    // open the window regardless.
    if (const std::string error =
            StartOptions::leftOverError(std::vector<std::string>(argv + 1, argv + argc));
        !error.empty()) {
        std::cerr << error << '\n' << StartOptions::usageLine() << '\n';
        return StartOptions::kUsageExitCode;
    }
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.stowmere.Stowmere"));
    if (priority::raiseProcessPriority() == priority::PriorityResult::Failed)
        dialogs.information(QStringLiteral("Not able to set priority class"));

    // The main window opens the tables; the editor and the progress window live with it.
    app::MainWindow frmMain(dialogs, locations::dataFolder());
    auto* frmAECategory = new app::SetEditorDialog(dialogs, frmMain.catalog(), &frmMain);
    auto* frmProgress = new progress::ProgressWindow(&frmMain);
    frmMain.setEditor(frmAECategory);
    frmMain.setProgress(frmProgress);
    QObject::connect(&frmMain, &app::MainWindow::closed, &application, &QApplication::quit);
    // A logout, a shutdown or kill ends the program as Exit does, its work written.
    app::SessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &app::SessionEnd::ending, &frmMain, &app::MainWindow::endSession);
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &frmMain,
                     [&frmMain](QSessionManager&) { frmMain.commitSession(); });
    frmMain.show();
    return application.exec();
}
