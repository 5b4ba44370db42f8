// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliBackupObserver.h"

namespace stowmere::cli {

CliBackupObserver::CliBackupObserver(const std::vector<std::string>& items, std::vector<bool> checked,
                                     ProgressPrinter& printer)
    : m_items(items), m_checked(std::move(checked)), m_printer(printer)
{
    m_checked.resize(m_items.size(), false);
}

bool CliBackupObserver::isItemChecked(std::size_t index)
{
    const bool checked = index < m_checked.size() && m_checked[index];
    // The run asks exactly when it reaches an item, so a checked answer means it starts now.
    if (checked)
        m_printer.itemStarted(m_items[index]);
    return checked;
}

void CliBackupObserver::uncheckItem(std::size_t index)
{
    if (index < m_checked.size())
        m_checked[index] = false;
}

void CliBackupObserver::copyingFile(const std::string& source, const std::string&)
{
    m_printer.fileStarted(source);
}

void CliBackupObserver::fileCopied(std::uint64_t)
{
    m_printer.fileCopied();
}

void CliBackupObserver::itemDone()
{
    m_printer.itemDone();
}

void CliBackupObserver::showError(const std::string& text)
{
    m_printer.failure(text);
}

// What could not be backed up, or why the run could not start, is news even for --quiet.
void CliBackupObserver::showInformation(const std::string& text)
{
    m_printer.failure(text);
}

void CliBackupObserver::closeProgress() {}

void CliBackupObserver::previewEntry(const backup::PreviewEntry& entry)
{
    if (m_preview)
        m_preview->entry(entry);
}

} // namespace stowmere::cli
