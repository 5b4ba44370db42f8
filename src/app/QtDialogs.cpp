// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QtDialogs.h"
#include "app/StringConversion.h"

#include "platform/Paths.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace stowmere::app {
namespace {

QMessageBox::Icon iconOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Information:
        return QMessageBox::Information;
    case MessageKind::Warning:
        return QMessageBox::Warning;
    case MessageKind::Confirmation:
    case MessageKind::ConfirmationDefaultNo:
        return QMessageBox::Question;
    case MessageKind::Error:
    case MessageKind::Application:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// The messages carry CR LF line breaks; a label would show the CR as a stray glyph.
QString displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QWidget* dialogParent()
{
    return QApplication::activeWindow();
}

// Qt's own dialogs behave the same on every desktop and can be driven by real input
// events in the end-to-end test; a portal dialog could not.
constexpr QFileDialog::Options kDialogOptions = QFileDialog::DontUseNativeDialog;

} // namespace

bool QtDialogs::message(MessageKind kind, const QString& text)
{
    QMessageBox box(iconOf(kind), title(kind), displayText(text), QMessageBox::NoButton, dialogParent());
    box.setTextFormat(Qt::PlainText);
    // Messages with line breaks of their own (the help text, the copy failure) are laid
    // out by them. The box wraps anything wider than about 500 pixels, breaking their
    // lines a second time, unless its label asks for the width of the longest line.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        label && text.contains(u'\n')) {
        int widest = 0;
        for (const QString& line : displayText(text).split(u'\n'))
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
        const QScreen* screen = QGuiApplication::primaryScreen();
        const int limit = screen ? screen->availableGeometry().width() - 160 : widest;
        label->setMinimumWidth(std::min(widest + 8, limit));
    }
    if (kind == MessageKind::Confirmation || kind == MessageKind::ConfirmationDefaultNo) {
        QPushButton* yes = box.addButton(Dialogs::tr("&Yes"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(Dialogs::tr("&No"), QMessageBox::NoRole);
        box.setDefaultButton(kind == MessageKind::Confirmation ? yes : no);
        box.exec();
        return box.clickedButton() == yes;
    }
    box.addButton(Dialogs::tr("OK"), QMessageBox::AcceptRole);
    box.exec();
    return true;
}

std::optional<QString> QtDialogs::browseFolder(const QString& start)
{
    const QString folder = QFileDialog::getExistingDirectory(dialogParent(), QString(),
                                                             start.isEmpty() ? QDir::homePath() : start,
                                                             kDialogOptions | QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return toQString(paths::withoutTrailingSeparator(toUtf8String(folder)));
}

QStringList QtDialogs::openFiles()
{
    // "*" rather than "*.*": on Linux many files have no extension at all.
    return QFileDialog::getOpenFileNames(dialogParent(), QString(), QString(), Dialogs::tr("All Files (*)"),
                                         nullptr, kDialogOptions);
}

std::optional<QString> QtDialogs::askSecret(const QString& text)
{
    bool accepted = false;
    const QString secret = QInputDialog::getText(dialogParent(), title(MessageKind::Confirmation), text,
                                                 QLineEdit::Password, {}, &accepted);
    if (!accepted)
        return std::nullopt;
    return secret;
}

} // namespace stowmere::app
