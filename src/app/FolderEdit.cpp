// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FolderEdit.h"
#include "app/StringConversion.h"

#include "app/Dialogs.h"
#include "platform/Paths.h"

#include <QAction>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace stowmere::app {
namespace {

// Three dots on a small raised face: the usual "choose..." button of a path field.
QIcon browseIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.setBrush(QColor(0xf0, 0xf0, 0xf0));
    painter.drawRoundedRect(QRectF(0.5, 2.5, 15, 11), 2, 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (int dot = 0; dot < 3; ++dot)
        painter.drawEllipse(QRectF(3.2 + dot * 3.6, 8.5, 2, 2));
    return QIcon(pixmap);
}

} // namespace

FolderEdit::FolderEdit(Dialogs& dialogs, QWidget* parent) : QLineEdit(parent), m_dialogs(dialogs)
{
    QAction* button = addAction(browseIcon(), QLineEdit::TrailingPosition);
    button->setObjectName(QStringLiteral("browseAction"));
    button->setToolTip(tr("Browse for a folder"));
    connect(button, &QAction::triggered, this, &FolderEdit::browse);
}

QString FolderEdit::browseStart() const
{
    QString start = text();
    if (start.isEmpty())
        start = m_lastFolder.isEmpty() ? QStringLiteral("/") : m_lastFolder;
    if (!QFileInfo(start).isDir())
        start = QStringLiteral("/");
    return start;
}

void FolderEdit::browse()
{
    const std::optional<QString> chosen = m_dialogs.browseFolder(browseStart());
    setFocus();
    if (!chosen)
        return;
    const QString folder = toQString(paths::withoutTrailingSeparator(toUtf8String(*chosen)));
    setText(folder);
    m_lastFolder = folder;
}

} // namespace stowmere::app
