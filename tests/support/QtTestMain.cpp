// SPDX-License-Identifier: GPL-3.0-or-later
// The main of every test executable that needs widgets.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    // Widgets render offscreen unless the run names a platform itself; listing the cases
    // (ctest's discovery) needs no display either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Windows keep their placement in an INI file under $XDG_CONFIG_HOME; the tests must
    // not touch the user's own.
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
