// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/WorkerThread.h"
#include "backup/BackupEngine.h"

#include <QDialog>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QTableView;
class QTimer;

namespace stowmere::controls {
class GradientButton;
}
namespace stowmere::progress {
class GifAnimator;
}

namespace stowmere::app {

class PreviewModel;

/// Shows what a backup run would do without writing anything: the engine walks the checked
/// items on a worker thread as a run would, and every file it would copy, folder it would
/// make and item it could not find or read becomes a row, with the totals at the end.
///
/// The scan starts with the dialog and stops when Cancel is pressed or the dialog goes
/// away; destroying the dialog waits for the worker, which stops at its next check.
class PreviewDialog final : public QDialog {
    Q_OBJECT

public:
    /// settings: the run's settings (made a dry run here); items: the check list's texts;
    /// checked: which of them are checked, taken now, as the list may change meanwhile.
    PreviewDialog(const QString& setDescription, backup::BackupSettings settings,
                  std::vector<std::string> items, std::vector<bool> checked, QWidget* parent = nullptr);
    ~PreviewDialog() override;
    PreviewDialog(const PreviewDialog&) = delete;
    PreviewDialog& operator=(const PreviewDialog&) = delete;

    bool scanning() const { return m_scanning; }
    const PreviewModel& model() const { return *m_model; }
    /// What the scan found; complete once scanning() is false.
    const backup::BackupResult& result() const { return m_result; }

    /// The selected rows as text, one tab-separated line each (path, size, reason); with
    /// every row selected and the scan over, the totals line follows, so a copy of the whole
    /// list is the whole report.
    QString selectedText() const;

    /// The totals line for a finished scan.
    static QString totalsText(const backup::BackupResult& result);

signals:
    void scanFinished();

protected:
    void reject() override;

private:
    class Collector;

    void createComponents(const QString& setDescription);
    void cancelOrClose();
    /// Moves what the worker found since the last call into the list.
    void takeFound();
    void scanDone();
    void copySelection();

    QLabel* m_headline = nullptr;                 // previewHeadline
    progress::GifAnimator* m_busy = nullptr;      // previewBusy
    QTableView* m_list = nullptr;                 // previewList
    QLabel* m_totals = nullptr;                   // previewTotals
    QPlainTextEdit* m_messages = nullptr;         // previewMessages
    controls::GradientButton* m_button = nullptr; // previewCancel: Cancel while scanning, then Close
    PreviewModel* m_model = nullptr;
    QTimer* m_batchTimer = nullptr;

    std::atomic<bool> m_cancelFlag{false};
    std::unique_ptr<Collector> m_collector;
    backup::BackupResult m_result;
    bool m_scanning = true;
    std::unique_ptr<WorkerThread> m_thread; // last: stopped before the rest goes
};

} // namespace stowmere::app
