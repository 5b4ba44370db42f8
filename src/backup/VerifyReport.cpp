// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/VerifyReport.h"

#include "backup/FailureReport.h"

namespace stowmere::backup {
namespace {

std::string counted(std::uint64_t count, const char* what)
{
    return std::to_string(count) + ' ' + what;
}

} // namespace

std::string verifyCountsText(const VerifyCounts& counts)
{
    std::string text;
    const auto add = [&text](std::uint64_t count, const char* what) {
        if (count == 0)
            return;
        text += (text.empty() ? "" : ", ") + counted(count, what);
    };
    add(counts.damaged, "damaged");
    add(counts.missing, "missing");
    add(counts.changedOutside, "changed outside");
    add(counts.differsFromSource, "differ from their source");
    add(counts.unreadable, "unreadable");
    add(counts.unrecorded, "unrecorded (recorded now)");
    return text.empty() ? "all match" : text;
}

std::string verifySummary(const VerifyResult& result, bool againstSource)
{
    if (!result.destinationError.empty())
        return result.destinationError;
    const VerifyCounts& counts = result.counts;
    const std::uint64_t read = counts.matched + counts.damaged + counts.unrecorded;
    std::string summary = "Verified " + counted(read, read == 1 ? "copy" : "copies") + " (" +
                          FormatByteSize(counts.bytesRead) + ")";
    if (againstSource)
        summary += ", " + std::to_string(counts.comparedWithSource) + " against their source";
    summary += ": " + verifyCountsText(counts);
    if (!result.manifestDamage.empty())
        summary += "; the manifest is damaged in " + std::to_string(result.manifestDamage.size()) +
                   (result.manifestDamage.size() == 1 ? " place" : " places");
    if (result.cancelled)
        summary += " (stopped before the end)";
    else if (result.outcome() == VerifyResult::Outcome::NothingChecked)
        summary += "; no copy had a record to compare with";
    return summary;
}

std::string verifyProblemLine(const VerifyProblem& problem)
{
    std::string line = std::string(findingWord(problem.finding)) + ": " + problem.path;
    if (!problem.detail.empty())
        line += " (" + problem.detail + ")";
    return line;
}

std::string manifestDamageLine(const ManifestDamage& damage)
{
    return "damaged manifest: " + damage.text();
}

std::vector<std::string> verifyReportLines(const VerifyResult& result, bool againstSource,
                                           std::size_t maxProblems)
{
    std::vector<std::string> lines{verifySummary(result, againstSource)};
    std::size_t shown = 0;
    for (const ManifestDamage& damage : result.manifestDamage) {
        if (shown == maxProblems)
            break;
        lines.push_back(manifestDamageLine(damage));
        ++shown;
    }
    for (const VerifyProblem& problem : result.problems) {
        if (shown == maxProblems)
            break;
        lines.push_back(verifyProblemLine(problem));
        ++shown;
    }
    // Every problem found is counted, also those beyond the list the result keeps.
    const std::uint64_t total =
        result.manifestDamage.size() + result.counts.faults() + result.counts.unrecorded;
    if (total > shown) {
        const std::uint64_t more = total - shown;
        lines.push_back("... and " + std::to_string(more) +
                        (more == 1 ? " more problem." : " more problems."));
    }
    return lines;
}

} // namespace stowmere::backup
