// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TableDump.h"

#include "platform/Utf8.h"
#include "store/FieldCodec.h"
#include "store/PacketFormat.h"
#include "store/PacketReader.h"
#include "store/ResultCode.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace stowmere::cli {
namespace {

using namespace stowmere::store;

std::string hex(std::uint64_t value, int digits)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string hexBytes(std::span<const std::byte> bytes)
{
    if (bytes.empty())
        return "(no bytes)";
    std::string text;
    char pair[4];
    for (const std::byte b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", std::to_integer<unsigned>(b));
        if (!text.empty())
            text.push_back(' ');
        text += pair;
    }
    return text;
}

const char* baseTypeName(std::uint32_t base)
{
    switch (base) {
    case packet::kBaseSigned:
        return "signed integer";
    case packet::kBaseUnsigned:
        return "unsigned integer";
    case packet::kBaseBoolean:
        return "boolean";
    case packet::kBaseFloat:
        return "floating point";
    case packet::kBaseBcd:
        return "binary-coded decimal";
    case packet::kBaseDate:
        return "date";
    case packet::kBaseTime:
        return "time";
    case packet::kBaseDateTime:
        return "date and time";
    case packet::kBaseString:
        return "string";
    case packet::kBaseWideString:
        return "16-bit string";
    case packet::kBaseBytes:
    case packet::kBaseBytesAlias:
        return "bytes";
    case packet::kBaseStructured:
        return "structured";
    case packet::kBaseArrayColumn:
        return "array column";
    case packet::kBaseNestedTable:
        return "nested table";
    case packet::kBaseReference:
        return "reference";
    case packet::kBaseTimeStamp:
        return "SQL time stamp";
    case packet::kBaseFmtBcd:
        return "formatted binary-coded decimal";
    default:
        return nullptr;
    }
}

std::string withFlags(std::uint64_t value, int digits,
                      const std::vector<std::pair<std::uint64_t, const char*>>& names)
{
    std::string words;
    std::uint64_t rest = value;
    for (const auto& [bit, name] : names) {
        if (value & bit) {
            words += words.empty() ? "" : ", ";
            words += name;
            rest &= ~bit;
        }
    }
    if (rest != 0) {
        words += words.empty() ? "" : ", ";
        words += "unknown bits " + hex(rest, digits);
    }
    return hex(value, digits) + (words.empty() ? "" : " (" + words + ")");
}

std::uint64_t readLittleEndian(std::span<const std::byte> bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        value = (value << 8) | std::to_integer<std::uint64_t>(bytes[i]);
    return value;
}

std::string formatScalar(std::uint32_t base, std::span<const std::byte> bytes)
{
    const std::size_t width = bytes.size();
    switch (base) {
    case packet::kBaseSigned:
        if (width == 1 || width == 2 || width == 4 || width == 8) {
            const std::uint64_t raw = readLittleEndian(bytes);
            const unsigned shift = static_cast<unsigned>(64 - 8 * width);
            // Sign-extend by shifting the value's top bit into bit 63 and back.
            const auto value = static_cast<std::int64_t>(raw << shift) >> shift;
            return std::to_string(value);
        }
        break;
    case packet::kBaseUnsigned:
        if (width == 1 || width == 2 || width == 4 || width == 8)
            return std::to_string(readLittleEndian(bytes));
        break;
    case packet::kBaseBoolean:
        if (width == 1 || width == 2 || width == 4)
            return readLittleEndian(bytes) != 0 ? "true" : "false";
        break;
    case packet::kBaseFloat:
        if (width == 8) {
            double value = 0;
            std::memcpy(&value, bytes.data(), sizeof value);
            char text[64];
            std::snprintf(text, sizeof text, "%.17g", value);
            return text;
        }
        break;
    default:
        break;
    }
    return hexBytes(bytes);
}

std::string formatWideString(std::span<const std::byte> bytes)
{
    std::string text;
    std::string escaped;
    char buffer[16];
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t unit = static_cast<std::uint32_t>(readLittleEndian(bytes.subspan(i, 2)));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const auto low = static_cast<std::uint32_t>(readLittleEndian(bytes.subspan(i + 2, 2)));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit < 0x20 || unit == '"' || unit == '\\' || unit == 0x7F ||
            (unit >= 0xD800 && unit <= 0xDFFF)) {
            std::snprintf(buffer, sizeof buffer, "\\u%04X", unit);
            text += buffer;
        } else if (unit < 0x80) {
            text.push_back(static_cast<char>(unit));
        } else if (unit < 0x800) {
            text.push_back(static_cast<char>(0xC0 | (unit >> 6)));
            text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        } else if (unit < 0x10000) {
            text.push_back(static_cast<char>(0xE0 | (unit >> 12)));
            text.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        } else {
            text.push_back(static_cast<char>(0xF0 | (unit >> 18)));
            text.push_back(static_cast<char>(0x80 | ((unit >> 12) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        }
    }
    if (bytes.size() % 2 != 0)
        text += "\\x" + hex(std::to_integer<unsigned>(bytes.back()), 2).substr(2);
    return '"' + text + '"';
}

std::string viewText(std::span<const std::byte> bytes)
{
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

/// A column name as a label: as it is when plain printable ASCII, else quoted and escaped.
std::string label(const std::string& name)
{
    for (const char c : name)
        if (c <= ' ' || c > '~' || c == '"' || c == '\\')
            return TableDump::quote(name);
    return name.empty() ? TableDump::quote(name) : name;
}

} // namespace

std::string TableDump::quote(std::string_view text)
{
    std::string result = "\"";
    char buffer[8];
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            result.push_back('\\');
            result.push_back(static_cast<char>(c));
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            result += buffer;
            ++i;
        } else if (c < 0x80) {
            result.push_back(static_cast<char>(c));
            ++i;
        } else {
            // Pass a whole well-formed UTF-8 character through; escape a stray byte.
            const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (length > 1 && i + length <= text.size() && utf8::isValid(text.substr(i, length))) {
                result.append(text.substr(i, length));
                i += length;
            } else {
                std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
                result += buffer;
                ++i;
            }
        }
    }
    result.push_back('"');
    return result;
}

std::string TableDump::describeTypeWord(std::uint32_t typeWord)
{
    const std::uint32_t base = packet::baseType(typeWord);
    const std::uint32_t size = packet::sizeOf(typeWord);
    const char* name = baseTypeName(base);
    std::string text = name ? name : "unknown base type " + std::to_string(base);
    if (typeWord & packet::kArray)
        text += ", array of " + std::to_string(size) + "-byte elements";
    else if (typeWord & packet::kVarying)
        text += ", " + std::to_string(size) + "-byte length";
    else if (base >= packet::kBaseStructured && base <= packet::kBaseReference)
        text += ", count " + std::to_string(size);
    else
        text += ", " + std::to_string(size) + (size == 1 ? " byte" : " bytes");
    const std::uint32_t extra = typeWord & 0xFF000000u;
    if (extra != 0)
        text += ", flags " + hex(extra, 8);
    return hex(typeWord, 8) + " (" + text + ")";
}

std::string TableDump::describeAttributes(std::uint16_t attributes)
{
    return withFlags(attributes, 4,
                     {{0x0001, "hidden"},
                      {0x0002, "read-only"},
                      {0x0004, "required"},
                      {0x0008, "link"},
                      {0x0010, "unnamed"},
                      {0x0020, "fixed width"}});
}

std::string TableDump::formatValue(std::uint32_t typeWord, std::span<const std::byte> payload)
{
    const std::uint32_t base = packet::baseType(typeWord);
    if (typeWord & packet::kArray) {
        const std::size_t width = packet::sizeOf(typeWord);
        if (width == 0 || payload.size() % width != 0)
            return hexBytes(payload);
        std::string text = "[";
        for (std::size_t i = 0; i < payload.size(); i += width) {
            if (i > 0)
                text += ", ";
            text += formatScalar(base, payload.subspan(i, width));
        }
        return text + "]";
    }
    switch (base) {
    case packet::kBaseString:
        // An empty string is stored as a single zero byte so that its length is never 0.
        if (payload.size() == 1 && payload[0] == std::byte{0})
            return "\"\"";
        return quote(viewText(payload));
    case packet::kBaseWideString:
        return formatWideString(payload);
    default:
        return formatScalar(base, payload);
    }
}

TableDump::Outcome TableDump::dump(std::span<const std::byte> packet, std::ostream& out)
{
    PacketReader reader;
    Outcome outcome;
    auto stop = [&](ResultCode code) {
        outcome.resultCode = code;
        outcome.offset = reader.offset();
        out << "Reading stopped: result code " << hex(code, 4) << " (" << resultCodeText(code)
            << ") at byte offset " << outcome.offset << '\n';
        return outcome;
    };

    out << "File size: " << packet.size() << " bytes\n";
    const ResultCode opened = reader.open(packet);
    if (packet.size() >= 4) {
        out << "Header\n  signature:        " << hex(reader.signature(), 8) << '\n';
    }
    if (opened != rc::Ok && reader.offset() == 0)
        return stop(opened);
    if (packet.size() >= packet::kHeaderSize) {
        out << "  major version:    " << reader.majorVersion() << '\n'
            << "  minor version:    " << reader.minorVersion() << '\n'
            << "  header size:      " << reader.headerSize() << '\n'
            << "  column count:     " << reader.columnCount() << '\n'
            << "  row count:        " << reader.rowCount() << '\n'
            << "  packet flags:     "
            << withFlags(reader.flags(), 8,
                         {{packet::kFlagMetadata, "metadata"},
                          {packet::kFlagRowDataOffset, "row data offset valid"},
                          {0x00008000, "textual form"}})
            << '\n'
            << "  row data offset:  " << reader.rowDataOffset() << '\n';
    }
    if (opened != rc::Ok)
        return stop(opened);

    std::vector<ColumnDescriptor> columns;
    std::vector<Property> tableProperties;
    out << "Columns\n";
    bool tableReached = false;
    while (!tableReached) {
        ColumnDescriptor column;
        const ResultCode next = reader.nextColumn(column);
        if (next == rc::NoMoreData)
            break;
        if (next != rc::Ok)
            return stop(next);
        columns.push_back(column);
        out << "  " << columns.size() << ". " << quote(column.name) << '\n'
            << "     type:        " << describeTypeWord(column.typeWord) << '\n'
            << "     attributes:  " << describeAttributes(column.attributes) << '\n';
        for (;;) {
            Property property;
            PropertyScope scope = PropertyScope::Column;
            const ResultCode read = reader.nextProperty(property, scope);
            if (read == rc::NoMoreData)
                break;
            if (read != rc::Ok)
                return stop(read);
            if (scope == PropertyScope::Table) {
                // The reader moves on to the table's properties after the last column's.
                tableProperties.push_back(std::move(property));
                tableReached = true;
                break;
            }
            std::string value = formatValue(
                property.typeWord,
                std::span<const std::byte>(reinterpret_cast<const std::byte*>(property.value.data()),
                                           property.value.size()));
            if (property.name == "SUBTYPE" && !property.value.empty() && property.value.back() == '\0') {
                // The subtype name is stored with its terminating zero byte.
                const std::string name = property.value.substr(0, property.value.size() - 1);
                value = quote(name) + " (subtype " + std::to_string(packet::subtypeFromName(name)) + ")";
            }
            out << "     property " << quote(property.name) << ": " << describeTypeWord(property.typeWord)
                << " = " << value << '\n';
        }
    }

    out << "Table properties\n";
    auto printTableProperty = [&out](const Property& property) {
        out << "  " << quote(property.name) << ": " << describeTypeWord(property.typeWord) << " = "
            << formatValue(property.typeWord, std::span<const std::byte>(
                                                  reinterpret_cast<const std::byte*>(property.value.data()),
                                                  property.value.size()))
            << '\n';
    };
    for (const Property& property : tableProperties)
        printTableProperty(property);
    for (;;) {
        Property property;
        PropertyScope scope = PropertyScope::Table;
        const ResultCode read = reader.nextProperty(property, scope);
        if (read == rc::NoMoreData)
            break;
        if (read != rc::Ok)
            return stop(read);
        printTableProperty(property);
    }

    out << "Rows\n";
    std::uint32_t rowNumber = 0;
    for (;;) {
        std::uint8_t status = 0;
        std::span<const std::byte> value;
        const ResultCode start = reader.nextField(status, value);
        if (start == rc::NoMoreData)
            break;
        if (start != rc::Ok)
            return stop(start);
        ++rowNumber;
        out << "  row " << rowNumber << " (status "
            << withFlags(status, 2,
                         {{packet::kRowOriginal, "original"},
                          {packet::kRowDeleted, "deleted"},
                          {packet::kRowInserted, "inserted"},
                          {packet::kRowModified, "modified"},
                          {packet::kRowFreeSlot, "free slot"}})
            << ")\n";
        for (const ColumnDescriptor& column : columns) {
            const ResultCode field = reader.nextField(status, value);
            out << "     " << label(column.name) << " = ";
            if (field == rc::FieldIsNull) {
                out << "null\n";
                continue;
            }
            if (field != rc::Ok) {
                out << "(unreadable)\n";
                return stop(field);
            }
            out << (status == packet::kFieldUnchanged ? "unchanged" : formatValue(column.typeWord, value))
                << '\n';
        }
    }
    out << "End of data at byte offset " << reader.offset() << " of " << packet.size() << '\n';
    return outcome;
}

} // namespace stowmere::cli
