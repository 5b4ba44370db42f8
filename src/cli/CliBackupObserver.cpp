// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliBackupObserver.h"

#include "backup/FailureReport.h"
#include "backup/Mirror.h"
#include "platform/Translation.h"

namespace stowmere::cli {

CliBackupObserver::CliBackupObserver(const std::vector<std::string>& items, std::vector<bool> checked,
                                     ProgressPrinter& printer)
    : m_items(items), m_checked(std::move(checked)), m_printer(printer)
{
    m_checked.resize(m_items.size(), false);
}

bool CliBackupObserver::isItemChecked(std::size_t index)
{
    return index < m_checked.size() && m_checked[index];
}

void CliBackupObserver::itemStarted(std::size_t index, const std::string& item)
{
    m_printer.itemStarted(item);
    if (m_events)
        m_events->itemStarted(index, item);
}

void CliBackupObserver::totalsCounted(const backup::RunTotals& totals)
{
    m_printer.totals(totals.files, totals.bytes, totals.complete);
}

bool CliBackupObserver::startWithoutSpace(std::uint64_t needed, std::uint64_t free, const std::string& folder)
{
    if (m_force)
        return true;
    m_printer.failure(backup::notEnoughSpaceLine(needed, free, folder) + "\r\n" +
                      _("Nothing was copied; --force starts the backup anyway."));
    return false;
}

bool CliBackupObserver::allowMassRemoval(const std::string& item, std::uint64_t files, std::uint64_t copies,
                                         bool sourceEmpty)
{
    if (m_allowMassRemoval)
        return true;
    m_printer.failure(backup::massRemovalText(item, files, copies, sourceEmpty) + "\r\n" +
                      _("--allow-mass-removal moves them into versions all the same."));
    return false;
}

void CliBackupObserver::uncheckItem(std::size_t index)
{
    if (index < m_checked.size())
        m_checked[index] = false;
}

void CliBackupObserver::copyingFile(const std::string& source, const std::string& target)
{
    m_printer.fileStarted(source);
    if (m_events)
        m_events->copying(source, target);
}

void CliBackupObserver::copyProgress(const std::string&, std::uint64_t done, std::uint64_t)
{
    m_printer.fileProgress(done);
}

void CliBackupObserver::bytesCopied(std::uint64_t bytes)
{
    m_printer.bytesCopied(bytes);
}

void CliBackupObserver::fileCopied(std::uint64_t)
{
    m_printer.fileCopied();
}

void CliBackupObserver::itemDone()
{
    // The engine steps the bar for the item it stopped in as well (a failed copy sets the
    // flag too); the summary counts only items backed up in full.
    if (m_cancel && m_cancel->load())
        return;
    m_printer.itemDone();
}

void CliBackupObserver::showError(const std::string& text)
{
    m_printer.failure(text);
    if (m_events)
        m_events->message(text);
}

// What could not be backed up, or why the run could not start, is news even for --quiet.
void CliBackupObserver::showInformation(const std::string& text)
{
    m_printer.failure(text);
    if (m_events)
        m_events->message(text);
}

void CliBackupObserver::closeProgress() {}

void CliBackupObserver::previewEntry(const backup::PreviewEntry& entry)
{
    if (m_preview)
        m_preview->entry(entry);
}

} // namespace stowmere::cli
