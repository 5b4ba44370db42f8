// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Translations.h"

#include <QApplication>

namespace stowmere::app {

class Dialogs;

/// The application object. An exception that escapes an event handler ends up in the
/// default report (a box titled with the application title) and the program keeps running.
/// The window speaks the language of the user's locale from the start.
class StowmereApplication : public QApplication {
    Q_OBJECT

public:
    StowmereApplication(int& argc, char** argv, Dialogs& dialogs);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    Dialogs& m_dialogs;
    Translations m_translations;
};

} // namespace stowmere::app
