// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QtDialogs.h"
#include "app/StowmereApplication.h"

#include <QWidget>

int main(int argc, char* argv[])
{
    stowmere::app::QtDialogs dialogs;
    stowmere::app::StowmereApplication app(argc, argv, dialogs);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Orvane Office - Stowmere"));
    window.resize(1024, 600);
    window.show();
    return app.exec();
}
