// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <optional>

namespace stowmere::app {

/// The kinds of message box the program shows; each has its own title, icon and buttons.
enum class MessageKind {
    Information,  ///< "Information", OK
    Warning,      ///< "Warning", OK (the program's own messages never use it)
    Error,        ///< "Error", OK
    Confirmation, ///< "Confirm", "&Yes" and "&No"
    /// "Confirm", "&Yes" and "&No" with No the default: Return must not start what could do
    /// harm (a backup onto the wrong drive).
    ConfirmationDefaultNo,
    Application, ///< the default report of an escaped error: the application title, OK
};

/// Every modal question the program asks goes through this interface, so the windows can
/// be driven by tests that record the messages and answer the questions in advance.
class Dialogs {
    Q_DECLARE_TR_FUNCTIONS(stowmere::app::Dialogs)

public:
    virtual ~Dialogs() = default;

    /// Shows a modal message box. Returns true when a confirmation was answered "&Yes";
    /// the other kinds return true once the box was closed.
    virtual bool message(MessageKind kind, const QString& text) = 0;

    /// The folder-browse dialog, starting at start (empty: the user's home). Returns the
    /// chosen folder without a trailing separator (the root keeps its "/"), or nothing
    /// when the user cancelled.
    virtual std::optional<QString> browseFolder(const QString& start) = 0;

    /// The multi-select file-open dialog; full paths in the order the dialog lists them,
    /// empty when the user cancelled.
    virtual QStringList openFiles() = 0;

    /// Asks for a secret (a key's passphrase) in a field that hides what is typed; nothing
    /// when the user cancelled. The answer is never kept.
    virtual std::optional<QString> askSecret(const QString& text)
    {
        static_cast<void>(text);
        return std::nullopt;
    }

    void information(const QString& text) { message(MessageKind::Information, text); }
    void error(const QString& text) { message(MessageKind::Error, text); }
    bool confirm(const QString& text) { return message(MessageKind::Confirmation, text); }
    bool confirmDefaultNo(const QString& text) { return message(MessageKind::ConfirmationDefaultNo, text); }

    /// The application's default report for an error that escaped its handler.
    void reportException(const QString& text) { message(MessageKind::Application, defaultReportText(text)); }

    /// The error text as the default report shows it: a "." is appended when the last
    /// character sorts after "." (so "Disk full" ends with a full stop but "Done." and
    /// "Failed!" are left alone).
    static QString defaultReportText(const QString& text);

    /// The title of a message box of the given kind.
    static QString title(MessageKind kind);
};

} // namespace stowmere::app
