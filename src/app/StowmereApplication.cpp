// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StowmereApplication.h"
#include "app/StringConversion.h"

#include "app/Accessibility.h"
#include "app/AppTexts.h"
#include "app/Dialogs.h"
#include "app/Glyphs.h"
#include "platform/Translation.h"

#include <QIcon>
#include <QPixmap>

#include <exception>

namespace stowmere::app {

StowmereApplication::StowmereApplication(int& argc, char** argv, Dialogs& dialogs)
    : QApplication(argc, argv), m_dialogs(dialogs)
{
    setApplicationName(QStringLiteral("stowmere"));
    // After QApplication, which sets the C library's locale from the environment: the
    // catalog's and the backup's messages shown in the window come from gettext, and the
    // binding keeps numbers in the "C" locale that stored files are written in.
    translation::setUp();
    m_translations.install(QLocale::system());
    // No setApplicationDisplayName: the X11 platform would append it to every caption.
    setWindowIcon(QIcon(QPixmap::fromImage(Glyphs::appIcon())));
    installAccessibility();
}

bool StowmereApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        m_dialogs.reportException(toQString(error.what()));
    } catch (...) {
        m_dialogs.reportException(tr("Unexpected error"));
    }
    return false;
}

} // namespace stowmere::app
