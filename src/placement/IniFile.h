// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::placement {

/// An INI file with private-profile semantics, opened for one save or restore.
///
/// The file is read when the object is made and written back by release(), atomically and
/// only when something changed. Section and key names match without regard to ASCII case;
/// spaces and tabs around names and values are ignored; the first occurrence of a section
/// or key wins. Every line the caller does not change (other sections, other keys,
/// comments, unknown lines) is written back byte for byte.
class IniFile {
public:
    /// Longest text readString returns, in bytes (never cut inside a UTF-8 character).
    static constexpr std::size_t kMaxValueLength = 2047;

    /// Reads path now. A missing file is an empty one. A file that exists but cannot be
    /// read yields defaults, and every write to it is refused so it is never overwritten.
    explicit IniFile(std::string path);

    const std::string& fileName() const { return m_path; }

    /// The value, or defaultValue when the section or key is missing. One enclosing pair
    /// of double or single quotes is stripped.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    /// Decimal, or hexadecimal after "0x"/"0X"; defaultValue for a missing key or text that
    /// is no 32-bit integer.
    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;
    bool sectionExists(std::string_view section) const;
    /// The key names of a section in file order.
    std::vector<std::string> readSection(std::string_view section) const;

    /// Sets a value, adding the section or key when missing. A value that would lose its
    /// own enclosing quotes or surrounding blanks on reading is wrapped in one more pair of
    /// double quotes. Throws std::invalid_argument for names or values that cannot be
    /// represented (line breaks, "=" in a key, "]" in a section name) and IniFileError when
    /// the file is unreadable.
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);
    /// Removes every occurrence of the section with all its lines.
    void eraseSection(std::string_view section);

    /// Writes the file to disk when it changed (temporary file, flush, rename), creating
    /// its folder when missing. Throws IniFileError naming the file.
    void release();

    bool modified() const { return m_modified; }

    /// Text to integer as readInteger parses it; nullopt for anything else.
    static std::optional<int> parseInteger(std::string_view text);

private:
    struct Line {
        std::string text;   // without its line ending
        std::string ending; // "\n", "\r\n" or "" for a last line without one
    };

    std::optional<std::size_t> findSection(std::string_view section) const;
    std::size_t sectionEnd(std::size_t header) const;
    std::optional<std::size_t> findKey(std::size_t header, std::string_view key) const;
    void checkWritable() const;
    std::string newLineEnding() const;

    std::string m_path;
    std::vector<Line> m_lines;
    bool m_modified = false;
    bool m_unreadable = false;
    std::string m_readError;
};

} // namespace stowmere::placement
