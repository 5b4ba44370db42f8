// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/MomentBrowser.h"

#include <QAbstractItemModel>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace stowmere::app {

/// A set's backup as it stood at one moment, for a tree view: the set's items at the top,
/// each folder filled from the destination the first time it is opened, so a tree of a
/// million files costs no more than the folders the user looks into.
class MomentModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { NameColumn, SizeColumn, ModifiedColumn, ColumnCount };

    /// Reads the destination's moment through browser, which the model keeps.
    explicit MomentModel(std::unique_ptr<backup::MomentBrowser> browser, QObject* parent = nullptr);
    ~MomentModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    /// The original path of the entry at index (where a restore puts it back).
    std::string originalPath(const QModelIndex& index) const;
    /// The index of the set's item with this original path; invalid when it did not stand
    /// at the moment.
    QModelIndex itemIndex(const std::string& original) const;

signals:
    /// A folder could not be read; what failed, with the reason.
    void readFailed(const QString& message);

private:
    struct Node {
        backup::MomentFile file;
        int parent = -1; ///< its parent's node; -1 for the hidden root
        int row = 0;     ///< its row under the parent
        bool folder = false;
        bool fetched = false;
        std::vector<int> children;
    };
    int nodeOf(const QModelIndex& index) const;
    int addNode(int parent, backup::MomentFile file);

    std::unique_ptr<backup::MomentBrowser> m_browser;
    std::vector<Node> m_nodes; ///< m_nodes[0] is the hidden root, parent of the items
};

} // namespace stowmere::app
