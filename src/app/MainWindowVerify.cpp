// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's Verify Backup... command.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/StringConversion.h"
#include "app/VerifyWorker.h"
#include "backup/VerifyReport.h"
#include "catalog/Catalog.h"
#include "catalog/Messages.h"
#include "catalog/RunHistory.h"
#include "progress/ProgressWindow.h"

#include <QStringList>

#include <algorithm>
#include <memory>

namespace stowmere::app {
namespace {

/// The summary box lists this many problems at most, then how many more there are.
constexpr std::size_t kProblemsShown = 50;

} // namespace

void MainWindow::verifyBackup()
{
    if (backupRunning())
        return;
    const std::optional<catalog::BackupSet> set = setForCommand();
    if (!set)
        return;
    m_verifySet = *set;
    m_verifySettings = {};
    m_verifySettings.destination = set->destination;
    for (const catalog::PathEntry& path : m_catalog->paths(set->number))
        m_verifySettings.items.push_back(path.item);
    // The manifest's totals first, so that the title can tell the time left.
    m_verifySettings.countFirst = true;
    m_verifyStart = catalog::RunRecord::Clock::now();

    m_progressTitle.reset();
    m_progress->prepareRun(100);
    m_progress->setHeadline(tr("Verifying Backup..."));
    m_progress->setCounterCaption(tr("Files read:"));
    m_progress->setWindowTitle(m_progressTitle.title());
    m_cancelFlag = false;
    auto total = std::make_shared<std::uint64_t>(0);
    VerifyWorker::Callbacks callbacks;
    callbacks.onTotal = [this, total](std::uint64_t bytes) {
        *total = bytes;
        m_progressTitle.setTotal(bytes);
    };
    callbacks.onBytesRead = [this, total](std::uint64_t bytes, std::uint64_t files) {
        m_progressTitle.setBytesCopied(ProgressTitle::Clock::now(), bytes);
        m_progress->setWindowTitle(m_progressTitle.title());
        m_progress->setFilesCopied(static_cast<qint64>(files));
        if (*total > 0)
            m_progress->setBarPosition(static_cast<int>(std::min<std::uint64_t>(100, bytes * 100 / *total)));
    };
    m_verifyWorker =
        std::make_unique<VerifyWorker>(m_verifySettings, m_cancelFlag, std::move(callbacks), this);
    connect(m_verifyWorker.get(), &VerifyWorker::finished, this, &MainWindow::verifyFinished);
    setRunning(true);
    m_verifyWorker->start();
}

void MainWindow::recordVerification(const backup::VerifyResult& result)
{
    recordRun(
        catalog::makeVerifyRecord(m_catalog->dataFolder(), m_verifySet, result, m_verifyStart, "stowmere"));
}

void MainWindow::verifyFinished()
{
    // The end of the session may have stopped and recorded it already.
    if (!m_verifyWorker)
        return;
    const std::unique_ptr<VerifyWorker> worker = std::move(m_verifyWorker);
    m_progress->finishRun();
    m_progress->setWindowTitle(tr("Progress"));
    setRunning(false);
    emit backupFinished();
    backup::VerifyResult result = worker->result();
    if (!worker->error().empty())
        result.destinationError = worker->error();
    recordVerification(result);
    QStringList lines;
    for (const std::string& line :
         backup::verifyReportLines(result, m_verifySettings.againstSource, kProblemsShown))
        lines << toQString(line);
    const QString text = lines.join(QStringLiteral("\r\n"));
    if (result.outcome() == backup::VerifyResult::Outcome::AllMatch && !result.cancelled)
        m_dialogs.information(text);
    else
        m_dialogs.error(text);
}

} // namespace stowmere::app
