// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupObserver.h"
#include "cli/PreviewPrinter.h"
#include "cli/ProgressPrinter.h"
#include "cli/RunEventPrinter.h"

#include <atomic>
#include <string>
#include <vector>

namespace stowmere::cli {

/// Stands in for the main window during a command-line backup: the check list is a vector
/// of check states fixed before the run, progress goes to the printer, and an error or
/// information box becomes a text on standard error (there is nobody to close a box, so the
/// run goes on at once).
class CliBackupObserver : public backup::BackupObserver {
public:
    CliBackupObserver(const std::vector<std::string>& items, std::vector<bool> checked,
                      ProgressPrinter& printer);

    bool isItemChecked(std::size_t index) override;
    void uncheckItem(std::size_t index) override;
    void itemStarted(std::size_t index, const std::string& item) override;
    void totalsCounted(const backup::RunTotals& totals) override;
    /// Yes with --force; otherwise says why the run does not start and how to start it.
    bool startWithoutSpace(std::uint64_t needed, std::uint64_t free, const std::string& folder) override;
    /// Yes with --allow-mass-removal; otherwise says what stays and how to move it.
    bool allowMassRemoval(const std::string& item, std::uint64_t files, std::uint64_t copies,
                          bool sourceEmpty) override;
    void copyingFile(const std::string& source, const std::string& target) override;
    void copyProgress(const std::string& source, std::uint64_t done, std::uint64_t size) override;
    void bytesCopied(std::uint64_t bytes) override;
    void fileCopied(std::uint64_t count) override;
    void itemDone() override;
    void showError(const std::string& text) override;
    void showInformation(const std::string& text) override;
    void closeProgress() override;
    void previewEntry(const backup::PreviewEntry& entry) override;

    /// Where a dry run's entries go; none for a real run.
    void setPreviewPrinter(PreviewPrinter* printer) { m_preview = printer; }
    /// --force: start even when the copies do not fit the free space.
    void setForce(bool force) { m_force = force; }
    /// --allow-mass-removal.
    void setAllowMassRemoval(bool allow) { m_allowMassRemoval = allow; }
    /// Where a real run's events go for --json or --verbose; none otherwise.
    void setEventPrinter(RunEventPrinter* events) { m_events = events; }
    /// The run's cancel flag: an item that ends with it set was cut short and is not done.
    void setCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    const std::vector<bool>& checked() const { return m_checked; }

private:
    const std::vector<std::string>& m_items;
    std::vector<bool> m_checked;
    ProgressPrinter& m_printer;
    PreviewPrinter* m_preview = nullptr;
    RunEventPrinter* m_events = nullptr;
    bool m_force = false;
    bool m_allowMassRemoval = false;
    const std::atomic<bool>* m_cancel = nullptr;
};

} // namespace stowmere::cli
