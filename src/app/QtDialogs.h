// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Dialogs.h"

namespace stowmere::app {

/// The real dialogs: QMessageBox and Qt's own file dialogs, modal over the active window.
class QtDialogs final : public Dialogs {
public:
    bool message(MessageKind kind, const QString& text) override;
    std::optional<QString> browseFolder(const QString& start) override;
    QStringList openFiles() override;
    std::optional<QString> askSecret(const QString& text) override;
};

} // namespace stowmere::app
