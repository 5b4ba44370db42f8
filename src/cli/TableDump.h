// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace stowmere::cli {

/// Prints a table file in readable form: header fields, columns with their type words,
/// attributes and properties, table properties and rows. Reading goes through the store's
/// packet reader, which checks every count and length against the end of the bytes, so
/// any input is safe; a damaged file is printed as far as it could be read.
class TableDump {
public:
    struct Outcome {
        std::uint16_t resultCode = 0; ///< 0 when the whole file was read
        std::size_t offset = 0;       ///< byte offset where reading stopped
    };

    /// Writes the dump of packet to out. On a damaged packet the last line names the result
    /// code, its meaning and the byte offset, and the outcome carries them.
    static Outcome dump(std::span<const std::byte> packet, std::ostream& out);

    /// "0x00490002 (string, 2-byte length)": a type word with what it means.
    static std::string describeTypeWord(std::uint32_t typeWord);
    /// "0x0002 (read-only)".
    static std::string describeAttributes(std::uint16_t attributes);
    /// A value's payload shown by its type word: numbers in decimal, strings quoted, other
    /// kinds as hexadecimal bytes.
    static std::string formatValue(std::uint32_t typeWord, std::span<const std::byte> payload);
    /// Text in double quotes; quote, backslash, control bytes and bytes that are not valid
    /// UTF-8 escaped, so that what is shown is exactly what is stored.
    static std::string quote(std::string_view text);
};

} // namespace stowmere::cli
