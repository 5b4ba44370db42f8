// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement/IniFile.h"

#include "placement/IniFileError.h"
#include "platform/AtomicFile.h"
#include "platform/Locations.h"
#include "platform/Paths.h"
#include "platform/Utf8.h"
#include "platform/WholeFile.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace stowmere::placement {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

// The text of a line as the parser sees it: a byte-order mark before the first line is
// not part of its content.
std::string_view content(std::string_view text, std::size_t index)
{
    if (index == 0 && text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    return trim(text);
}

std::optional<std::string_view> headerName(std::string_view text)
{
    if (!text.starts_with('['))
        return std::nullopt;
    text.remove_prefix(1);
    const std::size_t close = text.find(']');
    return trim(text.substr(0, close));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> keyValue(std::string_view text)
{
    if (text.empty() || text.starts_with('[') || text.starts_with(';'))
        return std::nullopt;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return KeyValue{trim(text.substr(0, equals)), trim(text.substr(equals + 1))};
}

bool hasLineBreakOrNul(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool enclosedInQuotes(std::string_view value)
{
    return value.size() >= 2 && value.front() == value.back() &&
           (value.front() == '"' || value.front() == '\'');
}

// The reader strips one enclosing pair of quotes and the blanks around a value, so a value
// that has either of its own is protected by one more pair of double quotes.
std::string encodeValue(std::string_view value)
{
    const bool blankEdge = !value.empty() && (isBlank(value.front()) || isBlank(value.back()));
    if (enclosedInQuotes(value) || blankEdge)
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

std::string_view checkedSection(std::string_view section)
{
    const std::string_view name = trim(section);
    if (name.empty() || name.find(']') != std::string_view::npos || hasLineBreakOrNul(name))
        throw std::invalid_argument("Invalid INI section name \"" + std::string(section) + "\"");
    return name;
}

std::string_view checkedKey(std::string_view key)
{
    const std::string_view name = trim(key);
    if (name.empty() || name.find('=') != std::string_view::npos || name.starts_with('[') ||
        name.starts_with(';') || hasLineBreakOrNul(name))
        throw std::invalid_argument("Invalid INI key name \"" + std::string(key) + "\"");
    return name;
}

} // namespace

IniFile::IniFile(std::string path) : m_path(std::move(path))
{
    // The temporary file of an atomic write goes beside the target, which needs a folder.
    if (!m_path.empty() && m_path.front() != paths::kSeparator)
        m_path = std::filesystem::absolute(m_path).string();
    std::string data;
    try {
        data = files::readWholeFile(m_path);
    } catch (const files::ReadError& error) {
        // A missing file (or a missing folder on the way to it) is an empty file.
        if (!error.missing()) {
            m_unreadable = true;
            m_readError = error.reason();
        }
        return;
    }
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t newline = data.find('\n', start);
        if (newline == std::string::npos) {
            m_lines.push_back({data.substr(start), ""});
            break;
        }
        std::size_t end = newline;
        std::string ending = "\n";
        if (end > start && data[end - 1] == '\r') {
            --end;
            ending = "\r\n";
        }
        m_lines.push_back({data.substr(start, end - start), ending});
        start = newline + 1;
    }
}

std::optional<std::size_t> IniFile::findSection(std::string_view section) const
{
    const std::string_view wanted = trim(section);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (const auto name = headerName(content(m_lines[i].text, i)); name && sameName(*name, wanted))
            return i;
    }
    return std::nullopt;
}

std::size_t IniFile::sectionEnd(std::size_t header) const
{
    std::size_t i = header + 1;
    while (i < m_lines.size() && !headerName(content(m_lines[i].text, i)))
        ++i;
    return i;
}

std::optional<std::size_t> IniFile::findKey(std::size_t header, std::string_view key) const
{
    const std::string_view wanted = trim(key);
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (const auto entry = keyValue(content(m_lines[i].text, i)); entry && sameName(entry->key, wanted))
            return i;
    }
    return std::nullopt;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    const auto header = findSection(section);
    if (!header)
        return std::string(defaultValue);
    const auto line = findKey(*header, key);
    if (!line)
        return std::string(defaultValue);
    std::string_view value = keyValue(content(m_lines[*line].text, *line))->value;
    if (enclosedInQuotes(value))
        value = value.substr(1, value.size() - 2);
    return std::string(utf8::prefixWithin(value, kMaxValueLength));
}

std::optional<int> IniFile::parseInteger(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        // Hexadecimal is a bit pattern: up to 32 bits, 0xFFFFFFFF reads as -1.
        std::uint32_t value = 0;
        const char* first = text.data() + 2;
        const char* last = text.data() + text.size();
        const auto [end, error] = std::from_chars(first, last, value, 16);
        if (error != std::errc() || end != last)
            return std::nullopt;
        return static_cast<int>(value);
    }
    if (text.starts_with('+') && text.size() > 1 && text[1] != '-')
        text.remove_prefix(1);
    int value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value, 10);
    if (text.empty() || error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

int IniFile::readInteger(std::string_view section, std::string_view key, int defaultValue) const
{
    return parseInteger(readString(section, key, "")).value_or(defaultValue);
}

bool IniFile::sectionExists(std::string_view section) const
{
    return findSection(section).has_value();
}

std::vector<std::string> IniFile::readSection(std::string_view section) const
{
    std::vector<std::string> keys;
    const auto header = findSection(section);
    if (!header)
        return keys;
    const std::size_t end = sectionEnd(*header);
    for (std::size_t i = *header + 1; i < end; ++i) {
        if (const auto entry = keyValue(content(m_lines[i].text, i)))
            keys.emplace_back(entry->key);
    }
    return keys;
}

void IniFile::checkWritable() const
{
    if (m_unreadable)
        throw IniFileError(m_path, "the file could not be read (" + m_readError + ") and is left as it is");
}

std::string IniFile::newLineEnding() const
{
    for (const Line& line : m_lines) {
        if (!line.ending.empty())
            return line.ending;
    }
    return "\n";
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string_view sectionName = checkedSection(section);
    const std::string_view keyName = checkedKey(key);
    if (hasLineBreakOrNul(value))
        throw std::invalid_argument("An INI value may not contain a line break: key \"" +
                                    std::string(keyName) + "\"");
    checkWritable();

    const std::string encoded = encodeValue(value);
    const std::string newText = std::string(keyName) + "=" + encoded;
    const std::string ending = newLineEnding();

    const auto header = findSection(sectionName);
    if (!header) {
        if (!m_lines.empty()) {
            if (m_lines.back().ending.empty())
                m_lines.back().ending = ending;
            if (!trim(m_lines.back().text).empty())
                m_lines.push_back({"", ending});
        }
        m_lines.push_back({"[" + std::string(sectionName) + "]", ending});
        m_lines.push_back({newText, ending});
        m_modified = true;
        return;
    }

    if (const auto line = findKey(*header, keyName)) {
        // Leave a line that already holds this value as it is, spacing and case included.
        if (keyValue(content(m_lines[*line].text, *line))->value == encoded)
            return;
        m_lines[*line].text = newText;
        m_modified = true;
        return;
    }

    // A new key goes after the last non-blank line of its section, before the blank lines
    // that separate it from the next one.
    std::size_t insertAt = sectionEnd(*header);
    while (insertAt > *header + 1 && trim(m_lines[insertAt - 1].text).empty())
        --insertAt;
    if (m_lines[insertAt - 1].ending.empty())
        m_lines[insertAt - 1].ending = ending;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{newText, ending});
    m_modified = true;
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value)
{
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value)
{
    writeString(section, key, value ? "1" : "0");
}

void IniFile::eraseSection(std::string_view section)
{
    const std::string_view sectionName = checkedSection(section);
    checkWritable();
    while (const auto header = findSection(sectionName)) {
        const std::size_t end = sectionEnd(*header);
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(*header),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(end));
        m_modified = true;
    }
}

void IniFile::release()
{
    if (!m_modified)
        return;
    checkWritable();
    std::string data;
    for (const Line& line : m_lines) {
        data += line.text;
        data += line.ending;
    }
    try {
        // Write through a symbolic link to its target, so a linked configuration file stays
        // linked instead of being replaced by a copy.
        std::string target = m_path;
        std::error_code error;
        if (std::filesystem::is_symlink(m_path, error)) {
            const auto resolved = std::filesystem::weakly_canonical(m_path, error);
            if (!error)
                target = resolved.string();
        }
        locations::ensureFolder(paths::parentFolder(target));
        writeFileAtomically(target, std::as_bytes(std::span(data.data(), data.size())));
    } catch (const std::system_error& error) {
        throw IniFileError(m_path, error.what());
    }
    m_modified = false;
}

} // namespace stowmere::placement
