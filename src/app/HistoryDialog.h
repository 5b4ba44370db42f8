// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/RunRecord.h"

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QTableView;

namespace stowmere::controls {
class GradientButton;
}

namespace stowmere::app {

/// The runs of one backup set from the run history, newest first: when each started and
/// ended, its mode and outcome, what it copied, what it could not find or read, and why a
/// run stopped. The notes of the run picked in the table (a stale lock taken over, copies
/// healed) show below it, and damaged lines of the history below them.
class HistoryDialog final : public QDialog {
    Q_OBJECT

public:
    /// runs: oldest first, as the history reads them; warnings: the lines it skipped.
    HistoryDialog(const QString& setDescription, std::vector<catalog::RunRecord> runs,
                  const std::vector<std::string>& warnings, QWidget* parent = nullptr);

    enum Column {
        StartColumn,
        EndColumn,
        ModeColumn,
        OutcomeColumn,
        FilesColumn,
        SizeColumn,
        NotFoundColumn,
        FailedColumn,
        ReasonColumn,
        ColumnCount
    };

    /// A history time as the window shows it: local time, "2026-12-08 05:12:38".
    static QString localTime(catalog::RunRecord::Clock::time_point time);

private:
    class Model;
    /// Shows the notes of the run in row.
    void showNotes(int row);

    QLabel* m_headline = nullptr; // historyHeadline
    QTableView* m_list = nullptr; // historyList
    Model* m_model = nullptr;
    QLabel* m_notes = nullptr;                   // historyNotes
    QLabel* m_warnings = nullptr;                // historyWarnings
    controls::GradientButton* m_close = nullptr; // historyClose
};

} // namespace stowmere::app
