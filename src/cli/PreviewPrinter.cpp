// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PreviewPrinter.h"

#include "backup/FailureReport.h"
#include "cli/ProgressPrinter.h"
#include "platform/Translation.h"
#include "platform/Utf8.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace stowmere::cli {
namespace {

using backup::PreviewEntry;

} // namespace

PreviewPrinter::PreviewPrinter(std::ostream& out, Format format, bool verbose)
    : m_out(out), m_format(format), m_verbose(verbose)
{
}

bool PreviewPrinter::isValidUtf8(std::string_view text)
{
    return utf8::isValid(text);
}

std::string PreviewPrinter::jsonName(std::string_view name)
{
    return utf8::withByteEscapes(name);
}

void PreviewPrinter::entry(const PreviewEntry& entry)
{
    if (entry.kind == PreviewEntry::Kind::Same && !m_verbose)
        return;
    // A folder is named by what would be made, everything else by what would be read.
    const std::string& path = entry.kind == PreviewEntry::Kind::Mkdir ? entry.target : entry.source;
    if (m_format == Format::Json) {
        nlohmann::ordered_json line;
        line["kind"] = backup::previewKindName(entry.kind);
        line["path"] = jsonName(path);
        if (!entry.target.empty() && entry.kind != PreviewEntry::Kind::Mkdir)
            line["target"] = jsonName(entry.target);
        if (entry.kind == PreviewEntry::Kind::Mkdir)
            line["source"] = jsonName(entry.source);
        if (entry.size > 0 || (backup::previewKindCopiesFile(entry.kind) && entry.becomes.empty()))
            line["size"] = entry.size;
        if (!entry.was.empty())
            line["was"] = entry.was;
        // A change of kind names both; a device node made names its kind.
        if (!entry.becomes.empty())
            line["becomes"] = entry.becomes;
        if (!entry.reason.empty())
            line["reason"] = jsonName(entry.reason);
        m_out << line.dump() << '\n';
    } else {
        std::string text = backup::previewKindName(entry.kind);
        // Names line up after the short words; "unreadable" runs one column over.
        text.resize(std::max<std::size_t>(text.size(), 8), ' ');
        text += ' ';
        text += ProgressPrinter::escapeControl(path);
        if (!entry.reason.empty())
            text += ": " + ProgressPrinter::escapeControl(entry.reason);
        if (!entry.was.empty())
            text += " (" + entry.was + " becomes " + entry.becomes + ")";
        else if (!entry.becomes.empty())
            text += " (" + entry.becomes + ")";
        m_out << text << '\n';
    }
    // Streamed: a long scan shows its first entries at once, and a pipe sees them as found.
    m_out.flush();
}

void PreviewPrinter::totals(const backup::BackupResult& result)
{
    const backup::PreviewTotals& totals = result.preview;
    if (m_format == Format::Json) {
        nlohmann::ordered_json line;
        line["kind"] = "totals";
        line["files"] = totals.files;
        line["bytes"] = totals.bytes;
        line["folders"] = totals.folders;
        line["same"] = totals.same;
        if (totals.removals > 0)
            line["remove"] = totals.removals;
        line["excluded"] = result.excluded;
        line["missing"] = result.missingItems.size();
        line["unreadable"] = result.notBackedUpCount;
        line["refused"] = result.refused;
        if (result.refused)
            line["refusal"] = jsonName(result.refusal);
        line["cancelled"] = result.cancelled;
        m_out << line.dump() << '\n';
    } else {
        using translation::format;
        m_out << format(ngettext("Would copy %d file (%s)", "Would copy %d files (%s)", totals.files),
                        totals.files, backup::formatByteSize(totals.bytes))
              << format(ngettext(" and create %d folder", " and create %d folders", totals.folders),
                        totals.folders);
        if (totals.same > 0)
            m_out << format(ngettext("; %d up to date", "; %d up to date", totals.same), totals.same);
        if (totals.removals > 0)
            m_out << format(ngettext("; %d to move into versions (sources gone)",
                                     "; %d to move into versions (sources gone)", totals.removals),
                            totals.removals);
        if (result.excluded > 0)
            m_out << format(ngettext("; %d excluded", "; %d excluded", result.excluded), result.excluded);
        if (!result.missingItems.empty())
            m_out << format(ngettext("; %d not found", "; %d not found", result.missingItems.size()),
                            result.missingItems.size());
        if (result.notBackedUpCount > 0)
            m_out << format(ngettext("; %d unreadable", "; %d unreadable", result.notBackedUpCount),
                            result.notBackedUpCount);
        m_out << '\n';
    }
    m_out.flush();
}

} // namespace stowmere::cli
