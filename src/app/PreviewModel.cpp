// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PreviewModel.h"
#include "app/ShownValues.h"

#include "app/StringConversion.h"

namespace stowmere::app {

using backup::PreviewEntry;

PreviewModel::PreviewModel(QObject* parent) : QAbstractTableModel(parent) {}

QString PreviewModel::reasonText(const PreviewEntry& entry)
{
    QString text = QString::fromLatin1(backup::previewKindName(entry.kind));
    if (!entry.reason.empty())
        text += QStringLiteral(": ") + toQString(entry.reason);
    if (!entry.was.empty())
        text += QStringLiteral(" (%1 becomes %2)").arg(toQString(entry.was), toQString(entry.becomes));
    else if (!entry.becomes.empty())
        text += QStringLiteral(" (%1)").arg(toQString(entry.becomes));
    return text;
}

void PreviewModel::append(const std::vector<PreviewEntry>& entries)
{
    std::vector<Row> rows;
    rows.reserve(entries.size());
    for (const PreviewEntry& entry : entries) {
        if (entry.kind == PreviewEntry::Kind::Same)
            continue;
        const bool isFile =
            backup::previewKindCopiesFile(entry.kind) && (entry.becomes.empty() || entry.becomes == "file");
        rows.push_back({toQString(entry.source), reasonText(entry), entry.size, isFile});
    }
    if (rows.empty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
}

void PreviewModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int PreviewModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int PreviewModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case PathColumn:
            return row.path;
        case SizeColumn:
            return row.hasSize ? shown::byteSize(row.size) : QString();
        case ReasonColumn:
            return row.reason;
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole && index.column() == PathColumn)
        return row.path;
    if (role == Qt::TextAlignmentRole && index.column() == SizeColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case PathColumn:
        return tr("Path");
    case SizeColumn:
        return tr("Size");
    case ReasonColumn:
        return tr("Reason");
    default:
        return {};
    }
}

} // namespace stowmere::app
