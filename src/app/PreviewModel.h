// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupObserver.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <vector>

namespace stowmere::app {

/// The rows of a preview: what a run would copy or make, and what it could not find or
/// read, with the path, the size and the reason. Rows arrive in batches while the scan
/// runs, so a list of a hundred thousand entries grows without redrawing the whole view
/// for each one.
class PreviewModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { PathColumn, SizeColumn, ReasonColumn, ColumnCount };

    explicit PreviewModel(QObject* parent = nullptr);

    /// Appends entries as rows in one insertion. Files an incremental run would leave as
    /// they are have no row: they are only counted in the totals. What the set's patterns
    /// leave out has a row, so the user sees what a pattern catches.
    void append(const std::vector<backup::PreviewEntry>& entries);
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// The text of a reason column for an entry: "new", "newer", "size", … and, for what
    /// could not be read, the system's reason after it.
    static QString reasonText(const backup::PreviewEntry& entry);

private:
    struct Row {
        QString path;
        QString reason;
        std::uint64_t size = 0;
        bool hasSize = false;
    };
    std::vector<Row> m_rows;
};

} // namespace stowmere::app
