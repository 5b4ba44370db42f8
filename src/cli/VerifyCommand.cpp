// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/VerifyCommand.h"

#include "backup/VerifyReport.h"
#include "catalog/Catalog.h"
#include "catalog/RunRecord.h"
#include "cli/DesktopNotifier.h"
#include "cli/HistoryCommand.h"
#include "cli/InterruptGuard.h"
#include "cli/PreviewPrinter.h"
#include "cli/ProgressPrinter.h"
#include "platform/Translation.h"

#include <nlohmann/json.hpp>

namespace stowmere::cli {
namespace {

using backup::VerifyFinding;
using backup::VerifyProblem;

/// Tells each problem as it is found.
class ProblemPrinter : public backup::VerifyObserver {
public:
    ProblemPrinter(std::ostream& out, bool json) : m_out(out), m_json(json) {}

    void problem(const VerifyProblem& problem) override
    {
        if (m_json) {
            nlohmann::ordered_json line;
            line["kind"] = "problem";
            line["finding"] = std::string(backup::findingWord(problem.finding));
            line["path"] = PreviewPrinter::jsonName(problem.path);
            line["detail"] = PreviewPrinter::jsonName(problem.detail);
            m_out << line.dump() << '\n';
        } else {
            m_out << backup::findingWord(problem.finding) << '\t'
                  << ProgressPrinter::escapeControl(problem.path) << '\t'
                  << ProgressPrinter::escapeControl(problem.detail) << '\n';
        }
        m_out.flush();
    }

    void manifestDamage(const backup::ManifestDamage& damage)
    {
        if (m_json) {
            nlohmann::ordered_json line;
            line["kind"] = "manifest";
            line["file"] = PreviewPrinter::jsonName(damage.file);
            line["line"] = damage.line;
            line["offset"] = damage.offset;
            line["reason"] = PreviewPrinter::jsonName(damage.reason);
            m_out << line.dump() << '\n';
        } else {
            m_out << "damaged manifest\t" << ProgressPrinter::escapeControl(damage.file) << '\t'
                  << (damage.line > 0 ? "line " + std::to_string(damage.line) + " (byte " +
                                            std::to_string(damage.offset) + "): "
                                      : std::string())
                  << ProgressPrinter::escapeControl(damage.reason) << '\n';
        }
    }

private:
    std::ostream& m_out;
    bool m_json;
};

} // namespace

ExitCode VerifyCommand::exitCodeOf(const backup::VerifyResult& result, int signal)
{
    if (result.cancelled && signal != 0)
        return exitCodeForSignal(signal);
    switch (result.outcome()) {
    case backup::VerifyResult::Outcome::AllMatch:
        return ExitCode::Success;
    case backup::VerifyResult::Outcome::Faults:
        return ExitCode::VerifyFaults;
    case backup::VerifyResult::Outcome::Unreadable:
        return ExitCode::VerifyUnreadable;
    case backup::VerifyResult::Outcome::NothingChecked:
        break;
    }
    return ExitCode::VerifyNothingChecked;
}

ExitCode VerifyCommand::run(catalog::Catalog& data, const catalog::BackupSet& set, const CommandLine& line)
{
    const auto start = catalog::RunRecord::Clock::now();
    backup::VerifySettings settings;
    settings.destination = set.destination;
    for (const catalog::PathEntry& path : data.paths(set.number))
        settings.items.push_back(path.item);
    settings.againstSource = line.againstSource;

    ProblemPrinter printer(m_out, line.json);
    std::atomic<bool> cancel{false};
    InterruptGuard guard(cancel, !line.quiet);
    const backup::VerifyResult result = backup::verify(settings, printer, cancel);
    for (const backup::ManifestDamage& damage : result.manifestDamage)
        printer.manifestDamage(damage);
    const ExitCode code = exitCodeOf(result, guard.receivedSignal());

    const catalog::RunRecord record =
        catalog::makeVerifyRecord(data.dataFolder(), set, result, start, "stowmere-cli");
    HistoryCommand(m_out, m_err).record(record);

    const backup::VerifyCounts& counts = result.counts;
    const std::string summary = backup::verifySummary(result, settings.againstSource);
    if (line.json) {
        nlohmann::ordered_json last = nlohmann::ordered_json::parse(record.toJsonLine());
        last["kind"] = "summary";
        last["exit_code"] = toInt(code);
        m_out << last.dump() << '\n';
    }
    m_err << ProgressPrinter::escapeControl(summary) << '\n';

    const bool lost = counts.damaged > 0 || counts.missing > 0;
    if (line.notify.value_or(NotifyMode::Failures) == NotifyMode::Always ||
        (lost && line.notify.value_or(NotifyMode::Failures) == NotifyMode::Failures)) {
        DesktopNotification notice;
        const std::string name = ProgressPrinter::escapeControl(set.description);
        if (lost) {
            notice.summary = translation::format(_("Verification of \"%s\" found damaged copies"), name);
            notice.body =
                backup::verifyCountsText(counts) + ".\n" + _("'stowmere-cli history' has the details.");
            notice.category = "transfer.error";
            notice.urgency = DesktopNotification::Urgency::Critical;
        } else {
            notice.summary = translation::format(_("Verification of \"%s\" finished"), name);
            notice.body = summary;
            notice.category = "transfer.complete";
        }
        const DesktopNotifier::Delivery delivery = DesktopNotifier::send(notice);
        if (!delivery.sent && line.notify == NotifyMode::Always)
            m_err << translation::format(_("stowmere-cli: no desktop notification: %s"), delivery.problem)
                  << '\n';
    }
    return code;
}

} // namespace stowmere::cli
