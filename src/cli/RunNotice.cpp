// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RunNotice.h"

#include "cli/ProgressPrinter.h"
#include "platform/Translation.h"

#include <ostream>

namespace stowmere::cli {
namespace {

/// A message as lines of the body: its first few non-empty lines (the window's "\r\n" line
/// breaks included), control characters within them made visible, a long one shortened in
/// the middle.
std::string bodyLines(std::string_view text)
{
    std::string lines;
    std::size_t count = 0;
    for (std::size_t start = 0; start < text.size() && count < RunNotice::kMessageLines;) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        start = end + 1;
        if (line.empty())
            continue;
        lines += (count++ == 0 ? "" : "\n") +
                 ProgressPrinter::shortenMiddle(ProgressPrinter::escapeControl(line), RunNotice::kLineLength);
    }
    return lines;
}

const char* stoppedBy(ExitCode code)
{
    switch (code) {
    case ExitCode::Interrupted:
        return _("Stopped with Ctrl-C");
    case ExitCode::HungUp:
        return _("Stopped when its terminal closed");
    default:
        return _("Stopped by the system");
    }
}

} // namespace

void RunNotice::setResult(const backup::BackupResult& result)
{
    m_ran = true;
    m_filesCopied = result.filesCopied;
    m_notRead = result.notBackedUpCount;
    m_notFound = result.missingItems.size();
    m_otherErrors = result.otherErrors;
    m_copyFailed = result.copyFailed;
    m_failedFile = result.failedFile;
    m_failureReason = result.failureReason;
    if (result.refused)
        m_error = result.refusal;
}

bool RunNotice::wanted(NotifyMode mode, ExitCode code)
{
    switch (mode) {
    case NotifyMode::Always:
        return true;
    case NotifyMode::Never:
        return false;
    case NotifyMode::Failures:
        break;
    }
    return code != ExitCode::Success && code != ExitCode::Interrupted;
}

void RunNotice::notify(const CommandLine& line, ExitCode code, std::ostream& err) const
{
    if (!wanted(line.notify.value_or(NotifyMode::Failures), code))
        return;
    const DesktopNotifier::Delivery delivery = DesktopNotifier::send(notification(code));
    // Only someone who asked for a notification of every run hears that none came: for
    // the default, a run without a desktop (a server, cron) is the ordinary case.
    if (!delivery.sent && line.notify == NotifyMode::Always)
        err << translation::format(_("stowmere-cli: no desktop notification: %s"), delivery.problem) << '\n';
}

DesktopNotification RunNotice::notification(ExitCode code) const
{
    using translation::format;
    const std::string set = ProgressPrinter::escapeControl(m_set);
    DesktopNotification notice;
    std::string what;
    switch (code) {
    case ExitCode::Success:
        notice.summary = format(_("Backup of \"%s\" finished"), set);
        notice.category = "transfer.complete";
        what = format(ngettext("%d file copied.", "%d files copied.", m_filesCopied), m_filesCopied);
        break;
    case ExitCode::ItemsNotFound: {
        notice.summary = format(_("Backup of \"%s\" finished with warnings"), set);
        notice.category = "transfer.complete";
        if (m_notRead > 0)
            what = format(ngettext("%d file could not be read", "%d files could not be read", m_notRead),
                          m_notRead);
        if (m_notFound > 0)
            what +=
                (what.empty() ? "" : "; ") +
                format(ngettext("%d item was not found", "%d items were not found", m_notFound), m_notFound);
        what += '.';
        break;
    }
    case ExitCode::HungUp:
    case ExitCode::Interrupted:
    case ExitCode::Terminated:
        notice.summary = format(_("Backup of \"%s\" was interrupted"), set);
        notice.category = "transfer.error";
        if (code != ExitCode::Interrupted)
            notice.urgency = DesktopNotification::Urgency::Critical;
        what = stoppedBy(code);
        if (m_ran)
            what += format(ngettext("; %d of %d item done", "; %d of %d items done", m_itemsTotal),
                           m_itemsDone, m_itemsTotal) +
                    format(ngettext(", %d file copied.", ", %d files copied.", m_filesCopied), m_filesCopied);
        else
            what += '.';
        break;
    case ExitCode::CopyFailed:
    case ExitCode::NotStarted:
        notice.summary = format(code == ExitCode::NotStarted ? _("Backup of \"%s\" did not start")
                                                             : _("Backup of \"%s\" failed"),
                                set);
        notice.category = "transfer.error";
        notice.urgency = DesktopNotification::Urgency::Critical;
        if (m_copyFailed)
            what = bodyLines(format(_("Could not copy %s: %s"), m_failedFile, m_failureReason));
        else if (!m_error.empty())
            what = bodyLines(m_error);
        else if (m_otherErrors > 0)
            what = format(ngettext("%d error; not every file was copied.",
                                   "%d errors; not every file was copied.", m_otherErrors),
                          m_otherErrors);
        else
            what = _("The backup did not run.");
        break;
    }
    if (!m_remedy.empty())
        what += '\n' + m_remedy;
    notice.body = what + '\n' + _("'stowmere-cli history' has the details.");
    return notice;
}

} // namespace stowmere::cli
