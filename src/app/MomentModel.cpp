// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MomentModel.h"
#include "app/ShownValues.h"

#include "app/StringConversion.h"

#include <QApplication>
#include <QStyle>

#include <exception>

namespace stowmere::app {

namespace {

QString lastName(const std::string& relative)
{
    const std::size_t slash = relative.rfind('/');
    return toQString(slash == std::string::npos ? relative : relative.substr(slash + 1));
}

} // namespace

MomentModel::MomentModel(std::unique_ptr<backup::MomentBrowser> browser, QObject* parent)
    : QAbstractItemModel(parent), m_browser(std::move(browser))
{
    m_nodes.emplace_back();
    m_nodes[0].folder = true;
    m_nodes[0].fetched = true;
    for (backup::MomentFile& item : m_browser->items())
        addNode(0, std::move(item));
}

MomentModel::~MomentModel() = default;

int MomentModel::addNode(int parent, backup::MomentFile file)
{
    Node node;
    node.folder = file.entry.kind == backup::DestinationKind::Folder;
    node.file = std::move(file);
    node.parent = parent;
    node.row = static_cast<int>(m_nodes[static_cast<std::size_t>(parent)].children.size());
    const int id = static_cast<int>(m_nodes.size());
    m_nodes.push_back(std::move(node));
    m_nodes[static_cast<std::size_t>(parent)].children.push_back(id);
    return id;
}

int MomentModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<int>(index.internalId()) : 0;
}

QModelIndex MomentModel::index(int row, int column, const QModelIndex& parent) const
{
    const Node& node = m_nodes[static_cast<std::size_t>(nodeOf(parent))];
    if (row < 0 || row >= static_cast<int>(node.children.size()) || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column, static_cast<quintptr>(node.children[static_cast<std::size_t>(row)]));
}

QModelIndex MomentModel::parent(const QModelIndex& child) const
{
    const int id = nodeOf(child);
    if (id == 0)
        return {};
    const int parent = m_nodes[static_cast<std::size_t>(id)].parent;
    if (parent <= 0)
        return {};
    return createIndex(m_nodes[static_cast<std::size_t>(parent)].row, 0, static_cast<quintptr>(parent));
}

int MomentModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return static_cast<int>(m_nodes[static_cast<std::size_t>(nodeOf(parent))].children.size());
}

int MomentModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

bool MomentModel::hasChildren(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return false;
    const Node& node = m_nodes[static_cast<std::size_t>(nodeOf(parent))];
    return node.folder && (!node.fetched || !node.children.empty());
}

bool MomentModel::canFetchMore(const QModelIndex& parent) const
{
    const Node& node = m_nodes[static_cast<std::size_t>(nodeOf(parent))];
    return node.folder && !node.fetched;
}

void MomentModel::fetchMore(const QModelIndex& parent)
{
    const int id = nodeOf(parent);
    if (!canFetchMore(parent))
        return;
    m_nodes[static_cast<std::size_t>(id)].fetched = true;
    std::vector<backup::MomentFile> children;
    try {
        children = m_browser->children(m_nodes[static_cast<std::size_t>(id)].file.original);
    } catch (const std::exception& failure) {
        emit readFailed(tr("Could not read %1: %2")
                            .arg(toQString(m_nodes[static_cast<std::size_t>(id)].file.original),
                                 toQString(failure.what())));
    }
    if (children.empty()) {
        // Nothing to show: the view drops the expander.
        emit dataChanged(parent, parent);
        return;
    }
    beginInsertRows(parent, 0, static_cast<int>(children.size()) - 1);
    for (backup::MomentFile& child : children)
        addNode(id, std::move(child));
    endInsertRows();
}

QVariant MomentModel::data(const QModelIndex& index, int role) const
{
    const int id = nodeOf(index);
    if (id == 0)
        return {};
    const Node& node = m_nodes[static_cast<std::size_t>(id)];
    const backup::MomentFile& file = node.file;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn:
            // An item shows as the set lists it; what is below it by its name.
            return node.parent == 0 ? toQString(file.original) : lastName(file.relative);
        case SizeColumn:
            return node.folder ? QVariant() : shown::byteSize(file.entry.size);
        case ModifiedColumn:
            return shown::dateTime(file.entry.modified.tv_sec);
        default:
            return {};
        }
    case Qt::DecorationRole:
        if (index.column() != NameColumn)
            return {};
        return QApplication::style()->standardIcon(node.folder ? QStyle::SP_DirIcon
                                                   : file.entry.kind == backup::DestinationKind::Link
                                                       ? QStyle::SP_FileLinkIcon
                                                       : QStyle::SP_FileIcon);
    case Qt::ToolTipRole:
        return file.run.empty()
                   ? toQString(file.original)
                   : tr("%1\nKept by the backup of %2").arg(toQString(file.original), toQString(file.run));
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant MomentModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractItemModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return tr("Name");
    case SizeColumn:
        return tr("Size");
    case ModifiedColumn:
        return tr("Modified");
    default:
        return {};
    }
}

std::string MomentModel::originalPath(const QModelIndex& index) const
{
    const int id = nodeOf(index);
    return id == 0 ? std::string() : m_nodes[static_cast<std::size_t>(id)].file.original;
}

QModelIndex MomentModel::itemIndex(const std::string& original) const
{
    for (const int id : m_nodes[0].children) {
        if (m_nodes[static_cast<std::size_t>(id)].file.original == original)
            return createIndex(m_nodes[static_cast<std::size_t>(id)].row, 0, static_cast<quintptr>(id));
    }
    return {};
}

} // namespace stowmere::app
