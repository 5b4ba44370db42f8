// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "backup/BackupObserver.h"

#include <ostream>
#include <string>
#include <string_view>

namespace stowmere::cli {

/// Prints what a dry run finds, one line an entry as it is found, then the totals: as
/// text ("new /home/ann/notes.txt") or as JSON Lines, one object an entry and a last one
/// with the totals.
class PreviewPrinter {
public:
    enum class Format { Text, Json };

    /// verbose: also print the files an incremental run leaves as they are ("same").
    PreviewPrinter(std::ostream& out, Format format, bool verbose);

    void entry(const backup::PreviewEntry& entry);
    void totals(const backup::BackupResult& result);

    /// A name for a JSON string: valid UTF-8 as it is; otherwise every byte that is not
    /// part of a valid character, and every backslash, as a "\xHH" escape, so that the
    /// name's bytes can be told back exactly.
    static std::string jsonName(std::string_view name);
    /// Whether text is valid UTF-8 (no overlong forms, no surrogates).
    static bool isValidUtf8(std::string_view text);

private:
    std::ostream& m_out;
    Format m_format;
    bool m_verbose;
};

} // namespace stowmere::cli
