// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QtDialogs.h"
#include "app/SessionEnd.h"
#include "app/StowmereApplication.h"
#include "app/TfrmAECategory.h"
#include "app/TfrmMain.h"
#include "platform/Locations.h"
#include "platform/ProcessPriority.h"
#include "progress/Progress.h"

#include <QSessionManager>

int main(int argc, char* argv[])
{
    using namespace stowmere;
    app::QtDialogs dialogs;
    app::StowmereApplication application(argc, argv, dialogs);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.stowmere"));
    if (priority::raiseProcessPriority() == priority::PriorityResult::Failed)
        dialogs.information(QStringLiteral("Not able to set priority class"));

    // The main window opens the tables; the editor and the progress window live with it.
    app::TfrmMain frmMain(dialogs, locations::dataFolder());
    auto* frmAECategory = new app::TfrmAECategory(dialogs, frmMain.catalog(), &frmMain);
    auto* frmProgress = new TfrmProgress(&frmMain);
    frmMain.setEditor(frmAECategory);
    frmMain.setProgress(frmProgress);
    QObject::connect(&frmMain, &app::TfrmMain::Closed, &application, &QApplication::quit);
    // A logout, a shutdown or kill ends the program as Exit does, its work written.
    app::SessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &app::SessionEnd::ending, &frmMain, &app::TfrmMain::endSession);
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &frmMain,
                     [&frmMain](QSessionManager&) { frmMain.commitSession(); });
    frmMain.show();
    return application.exec();
}
