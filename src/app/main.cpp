// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Orvane Office - Stowmere"));
    window.resize(1024, 600);
    window.show();
    return app.exec();
}
