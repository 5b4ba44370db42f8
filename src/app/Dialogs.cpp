// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Dialogs.h"

#include "app/AppTexts.h"

namespace stowmere::app {

QString Dialogs::defaultReportText(const QString& text)
{
    if (!text.isEmpty() && text.back() > QChar(u'.'))
        return text + u'.';
    return text;
}

QString Dialogs::title(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Information:
        return tr("Information");
    case MessageKind::Warning:
        return tr("Warning");
    case MessageKind::Error:
        return tr("Error");
    case MessageKind::Confirmation:
    case MessageKind::ConfirmationDefaultNo:
        return tr("Confirm");
    case MessageKind::Application:
        return texts::applicationTitle();
    }
    return {};
}

} // namespace stowmere::app
