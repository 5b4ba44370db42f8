// SPDX-License-Identifier: GPL-3.0-or-later
// stowmere-grab OUT.png [WINDOW-ID]: saves the X screen, or one window of it, as a PNG.
// The screenshot script uses it under Xvfb, where no other grabbing tool may be installed.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: stowmere-grab OUT.png [WINDOW-ID]\n");
        return 2;
    }
    bool ok = true;
    const WId window = argc > 2 ? QString::fromLocal8Bit(argv[2]).toULongLong(&ok, 0) : 0;
    if (!ok) {
        std::fprintf(stderr, "stowmere-grab: not a window id: %s\n", argv[2]);
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = screen ? screen->grabWindow(window) : QPixmap();
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "stowmere-grab: could not grab or write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
