// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RunEventPrinter.h"

#include "cli/PreviewPrinter.h"
#include "cli/ProgressPrinter.h"

#include <nlohmann/json.hpp>

namespace stowmere::cli {

RunEventPrinter::RunEventPrinter(std::ostream& out, Format format) : m_out(out), m_format(format) {}

void RunEventPrinter::itemStarted(std::size_t index, const std::string& path)
{
    if (m_format != Format::Json)
        return;
    nlohmann::ordered_json line;
    line["kind"] = "item";
    line["index"] = index;
    line["path"] = PreviewPrinter::jsonName(path);
    m_out << line.dump() << '\n' << std::flush;
}

void RunEventPrinter::copying(const std::string& source, const std::string& target)
{
    if (m_format == Format::Json) {
        nlohmann::ordered_json line;
        line["kind"] = "copy";
        line["path"] = PreviewPrinter::jsonName(source);
        line["target"] = PreviewPrinter::jsonName(target);
        m_out << line.dump() << '\n';
    } else {
        // The word lines up with those of a dry run's list.
        m_out << "copy     " << ProgressPrinter::escapeControl(source) << '\n';
    }
    m_out << std::flush;
}

void RunEventPrinter::message(const std::string& text)
{
    if (m_format != Format::Json)
        return;
    std::string plain;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find("\r\n", start);
        plain += text.substr(start, end == std::string::npos ? end : end - start);
        if (end == std::string::npos)
            break;
        plain += '\n';
        start = end + 2;
    }
    nlohmann::ordered_json line;
    line["kind"] = "message";
    line["text"] = PreviewPrinter::jsonName(plain);
    m_out << line.dump() << '\n' << std::flush;
}

void RunEventPrinter::summary(const catalog::RunRecord& record, int exitCode)
{
    if (m_format != Format::Json)
        return;
    nlohmann::ordered_json line;
    line["kind"] = "summary";
    line["exit_code"] = exitCode;
    line["items_done"] = m_itemsDone;
    line["items"] = m_items;
    const nlohmann::ordered_json fields = nlohmann::ordered_json::parse(record.toJsonLine());
    for (const auto& field : fields.items())
        line[field.key()] = field.value();
    m_out << line.dump() << '\n' << std::flush;
}

} // namespace stowmere::cli
