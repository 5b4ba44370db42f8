// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/RunRecord.h"

#include <cstddef>
#include <ostream>
#include <string>

namespace stowmere::cli {

/// What a real backup run does, on standard output for whoever asked: with --verbose a line
/// for each file copied ("copy     /home/ann/notes.txt"); with --json one JSON object a line
/// as the run goes (each item reached, each file copied, each message), and last a summary
/// object with the run's history record, its exit code and how many items were done.
class RunEventPrinter {
public:
    enum class Format { Text, Json };

    RunEventPrinter(std::ostream& out, Format format);

    void itemStarted(std::size_t index, const std::string& path);
    void copying(const std::string& source, const std::string& target);
    /// A failure or information text as the window shows it ("\r\n" line breaks).
    void message(const std::string& text);
    /// Items of the run done in full, of those it was to back up.
    void setItems(std::size_t done, std::size_t total)
    {
        m_itemsDone = done;
        m_items = total;
    }
    /// The closing object (JSON only): the record's fields, the exit code and the items.
    void summary(const catalog::RunRecord& record, int exitCode);

private:
    std::ostream& m_out;
    Format m_format;
    std::size_t m_itemsDone = 0;
    std::size_t m_items = 0;
};

} // namespace stowmere::cli
