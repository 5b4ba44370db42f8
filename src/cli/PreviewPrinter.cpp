// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PreviewPrinter.h"

#include "backup/FailureReport.h"
#include "cli/ProgressPrinter.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace stowmere::cli {
namespace {

using backup::PreviewEntry;

/// Length of the valid UTF-8 character at the start of text, 0 when there is none.
std::size_t characterLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    if (byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

} // namespace

PreviewPrinter::PreviewPrinter(std::ostream& out, Format format, bool verbose)
    : m_out(out), m_format(format), m_verbose(verbose)
{
}

bool PreviewPrinter::isValidUtf8(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t length = characterLength(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string PreviewPrinter::jsonName(std::string_view name)
{
    if (isValidUtf8(name))
        return std::string(name);
    std::string text;
    while (!name.empty()) {
        std::size_t length = characterLength(name);
        if (length == 0 || name.front() == '\\') {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(name.front()));
            text += escape;
            length = 1;
        } else {
            text.append(name.substr(0, length));
        }
        name.remove_prefix(length);
    }
    return text;
}

void PreviewPrinter::entry(const PreviewEntry& entry)
{
    if (entry.kind == PreviewEntry::Kind::Same && !m_verbose)
        return;
    // A folder is named by what would be made, everything else by what would be read.
    const std::string& path = entry.kind == PreviewEntry::Kind::Mkdir ? entry.target : entry.source;
    if (m_format == Format::Json) {
        nlohmann::ordered_json line;
        line["kind"] = backup::PreviewKindName(entry.kind);
        line["path"] = jsonName(path);
        if (!entry.target.empty() && entry.kind != PreviewEntry::Kind::Mkdir)
            line["target"] = jsonName(entry.target);
        if (entry.kind == PreviewEntry::Kind::Mkdir)
            line["source"] = jsonName(entry.source);
        if (entry.size > 0 || entry.kind == PreviewEntry::Kind::New ||
            entry.kind == PreviewEntry::Kind::Size || entry.kind == PreviewEntry::Kind::Newer ||
            entry.kind == PreviewEntry::Kind::Replace)
            line["size"] = entry.size;
        if (!entry.reason.empty())
            line["reason"] = jsonName(entry.reason);
        m_out << line.dump() << '\n';
    } else {
        std::string text = backup::PreviewKindName(entry.kind);
        // Names line up after the short words; "unreadable" runs one column over.
        text.resize(std::max<std::size_t>(text.size(), 8), ' ');
        text += ' ';
        text += ProgressPrinter::escapeControl(path);
        if (!entry.reason.empty())
            text += ": " + ProgressPrinter::escapeControl(entry.reason);
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
        line["excluded"] = result.excluded;
        line["missing"] = result.missingItems.size();
        line["unreadable"] = result.notBackedUpCount;
        line["refused"] = result.refused;
        if (result.refused)
            line["refusal"] = jsonName(result.refusal);
        line["cancelled"] = result.cancelled;
        m_out << line.dump() << '\n';
    } else {
        m_out << "Would copy " << totals.files << (totals.files == 1 ? " file" : " files") << " ("
              << backup::FormatByteSize(totals.bytes) << ") and create " << totals.folders
              << (totals.folders == 1 ? " folder" : " folders");
        if (totals.same > 0)
            m_out << "; " << totals.same << " up to date";
        if (result.excluded > 0)
            m_out << "; " << result.excluded << " excluded";
        if (!result.missingItems.empty())
            m_out << "; " << result.missingItems.size() << " not found";
        if (result.notBackedUpCount > 0)
            m_out << "; " << result.notBackedUpCount << " unreadable";
        m_out << '\n';
    }
    m_out.flush();
}

} // namespace stowmere::cli
