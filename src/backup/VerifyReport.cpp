// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/VerifyReport.h"

#include "backup/FailureReport.h"
#include "platform/Translation.h"

namespace stowmere::backup {
namespace {

using translation::format;

} // namespace

std::string verifyCountsText(const VerifyCounts& counts)
{
    std::string text;
    // Each count with the words of its kind, in the form the count needs.
    const auto add = [&text](std::uint64_t count, PluralText words) {
        if (count == 0)
            return;
        text += (text.empty() ? "" : ", ") + format(ngettext(words.singular, words.plural, count), count);
    };
    add(counts.damaged, NP_("%d damaged", "%d damaged"));
    add(counts.missing, NP_("%d missing", "%d missing"));
    add(counts.changedOutside, NP_("%d changed outside", "%d changed outside"));
    add(counts.differsFromSource, NP_("%d differ from their source", "%d differ from their source"));
    add(counts.unreadable, NP_("%d unreadable", "%d unreadable"));
    add(counts.unrecorded, NP_("%d unrecorded (recorded now)", "%d unrecorded (recorded now)"));
    return text.empty() ? _("all match") : text;
}

std::string verifySummary(const VerifyResult& result, bool againstSource)
{
    if (!result.destinationError.empty())
        return result.destinationError;
    const VerifyCounts& counts = result.counts;
    const std::uint64_t read = counts.matched + counts.damaged + counts.unrecorded;
    std::string summary = format(ngettext("Verified %d copy (%s)", "Verified %d copies (%s)", read), read,
                                 formatByteSize(counts.bytesRead));
    if (againstSource)
        summary += format(_(", %d against their source"), counts.comparedWithSource);
    summary += format(_(": %s"), verifyCountsText(counts));
    if (!result.manifestDamage.empty())
        summary += format(ngettext("; the manifest is damaged in %d place",
                                   "; the manifest is damaged in %d places", result.manifestDamage.size()),
                          result.manifestDamage.size());
    if (result.cancelled)
        summary += _(" (stopped before the end)");
    else if (result.outcome() == VerifyResult::Outcome::NothingChecked)
        summary += _("; no copy had a record to compare with");
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
        lines.push_back(
            format(ngettext("... and %d more problem.", "... and %d more problems.", more), more));
    }
    return lines;
}

} // namespace stowmere::backup
