// SPDX-License-Identifier: GPL-3.0-or-later
// A data packet read into a table's content, one function per section of the packet.
#include "store/TablePacketReader.h"

#include "store/FieldCodec.h"
#include "store/PacketReader.h"
#include "store/StoreError.h"

#include <algorithm>

namespace stowmere::store {
namespace {

using packet::kAutoIncValue;
using packet::kCalculated;
using packet::kChangeLog;
using packet::kDecimals;
using packet::kDefaultOrder;
using packet::kElements;
using packet::kPrimaryKey;
using packet::kSubtype;
using packet::kUniqueKey;
using packet::kWidth;

[[noreturn]] void failRead(ResultCode code, std::size_t offset,
                           const std::string& what = "Cannot read the table")
{
    throw StoreError::fromCode(code, what, offset);
}

// The value of an integer property, or nothing when the property is not a plain integer.
std::optional<std::int64_t> integerOf(const Property& property)
{
    const std::uint32_t base = packet::baseType(property.typeWord);
    if ((base != packet::kBaseSigned && base != packet::kBaseUnsigned) ||
        (property.typeWord & (packet::kVarying | packet::kArray)) != 0 || property.value.empty() ||
        property.value.size() > 8)
        return std::nullopt;
    const std::size_t width = property.value.size();
    std::uint64_t raw = le::read(reinterpret_cast<const std::byte*>(property.value.data()), width);
    if (base == packet::kBaseSigned && width < 8 && (raw >> (8 * width - 1)) != 0)
        raw |= ~std::uint64_t{0} << (8 * width);
    return static_cast<std::int64_t>(raw);
}

// The elements of an array property of 2- or 4-byte integers.
std::optional<std::vector<std::uint32_t>> elementsOf(const Property& property)
{
    const std::size_t width = packet::sizeOf(property.typeWord);
    if ((property.typeWord & packet::kArray) == 0 || (width != 2 && width != 4))
        return std::nullopt;
    std::vector<std::uint32_t> elements;
    for (std::size_t at = 0; at + width <= property.value.size(); at += width)
        elements.push_back(static_cast<std::uint32_t>(
            le::read(reinterpret_cast<const std::byte*>(property.value.data() + at), width)));
    return elements;
}

/// A column as read, with what reading its rows needs beyond the field definition.
struct ReadColumn {
    FieldDef field;
    std::uint32_t typeWord = 0;
    bool fixedText = false; ///< a text column of fixed width (ends at its first zero byte)
};

void readColumnProperties(PacketReader& reader, FieldDef& field)
{
    Property property;
    PropertyScope scope = PropertyScope::Column;
    for (;;) {
        const std::size_t propertyAt = reader.offset();
        const ResultCode result = reader.nextProperty(property, scope);
        if (result == rc::NoMoreData)
            return;
        if (result != rc::Ok)
            failRead(result, reader.offset());
        if (property.name == kSubtype) {
            if (packet::baseType(property.typeWord) != packet::kBaseString)
                failRead(rc::InvalidArgument, propertyAt,
                         "Cannot read the subtype of column '" + field.name + "'");
            const std::string_view name =
                std::string_view(property.value).substr(0, property.value.find('\0'));
            field.subtype = packet::subtypeFromName(name);
            if (field.subtype == packet::kSubtypeAutoinc)
                field.attributes |= packet::kAttrReadOnly;
            if (field.subtype == packet::kSubtypeUnknown)
                field.properties.push_back(std::move(property));
        } else if (property.name == kWidth || property.name == kElements) {
            const auto value = integerOf(property);
            if (!value || *value < 0 || *value > 0xFFFF)
                failRead(rc::InvalidArgument, propertyAt,
                         "Cannot read the width of column '" + field.name + "'");
            field.size = static_cast<std::uint32_t>(*value);
        } else if (property.name == kDecimals) {
            field.decimals = static_cast<std::uint16_t>(integerOf(property).value_or(0));
        } else if (property.name == kCalculated) {
            field.calculated = integerOf(property).value_or(0) != 0;
        } else {
            field.properties.push_back(std::move(property));
        }
    }
}

// A text column needs its width from the type word or "WIDTH"; fixed kinds have their own.
void completeWidths(FieldDef& field, std::size_t columnAt)
{
    switch (field.type) {
    case FieldType::String:
        if (field.byteLength > 0)
            field.size = field.byteLength - 1;
        else if (field.size > 0)
            field.byteLength = field.size + 1;
        // A width of 0 could not be written back readably (no "WIDTH" is written for it).
        if (field.size == 0)
            failRead(rc::InvalidArgument, columnAt, "Column '" + field.name + "' has no width");
        break;
    case FieldType::WideString:
        if (field.size == 0)
            failRead(rc::InvalidArgument, columnAt, "Column '" + field.name + "' has no width");
        field.byteLength = (field.size + 1) * 2;
        break;
    case FieldType::Bytes:
        if (field.byteLength > 0)
            field.size = field.byteLength;
        else if (field.size > 0)
            field.byteLength = field.size;
        else
            failRead(rc::InvalidArgument, columnAt, "Column '" + field.name + "' has no width");
        break;
    case FieldType::VarBytes:
        field.byteLength = field.size + 2;
        break;
    case FieldType::Blob:
    case FieldType::Bcd:
    case FieldType::FmtBcd:
        break;
    default:
        field.byteLength = naturalWidth(field.type);
        if (field.byteLength == 0)
            failRead(rc::UnsupportedType, columnAt,
                     "Column '" + field.name + "' has a type the table cannot hold");
    }
}

std::vector<ReadColumn> readColumns(PacketReader& reader)
{
    std::vector<ReadColumn> columns;
    ColumnDescriptor descriptor;
    for (;;) {
        const std::size_t columnAt = reader.offset();
        const ResultCode result = reader.nextColumn(descriptor);
        if (result == rc::NoMoreData)
            return columns;
        if (result != rc::Ok)
            failRead(result, reader.offset());
        // The writer refuses this name, so a table holding it could never be saved again.
        if (descriptor.name == "RowState")
            failRead(rc::OutOfOrder, columnAt, "Cannot read the table: a column is named RowState");
        ReadColumn column;
        FieldDef& field = column.field;
        field.name = descriptor.name;
        field.type = fieldTypeFor(descriptor.typeWord);
        const bool varying = (descriptor.typeWord & packet::kVarying) != 0;
        field.byteLength = varying ? 0 : packet::sizeOf(descriptor.typeWord);
        field.attributes = descriptor.attributes;
        readColumnProperties(reader, field);
        completeWidths(field, columnAt);
        // Every column must be writable again with rows, whatever the file held so far.
        FieldCodec codec;
        const bool readable = FieldCodec::make(descriptor.typeWord, codec) == rc::Ok && !codec.isArray();
        const bool writable =
            FieldCodec::make(typeWordFor(field.type, field.byteLength), codec) == rc::Ok && !codec.isArray();
        const bool wideFits = field.type != FieldType::WideString || field.size <= 0x7FFF;
        if (!readable || !writable || !wideFits)
            failRead(rc::UnsupportedType, columnAt,
                     "Column '" + field.name + "' has a type the table cannot hold");
        column.typeWord = descriptor.typeWord;
        column.fixedText = field.type == FieldType::String && !varying;
        columns.push_back(std::move(column));
    }
}

void readTableProperties(PacketReader& reader, TableFrame& frame)
{
    const std::vector<FieldDef>& fields = frame.fields;
    const auto keyColumnsOf = [&](const Property& property, std::size_t at, bool withFlags) {
        const auto elements = elementsOf(property);
        if (!elements || elements->empty() || elements->size() > 16)
            failRead(rc::InvalidArgument, at, "Cannot read the table property " + property.name);
        std::vector<KeyColumn> keys;
        for (const std::uint32_t element : *elements) {
            const std::uint32_t number = withFlags ? (element & 0x3FFF) : element;
            if (number == 0 || number > fields.size())
                failRead(rc::InvalidArgument, at, "Cannot read the table property " + property.name);
            keys.push_back(
                {number - 1, withFlags && (element & 0x8000) != 0, withFlags && (element & 0x4000) != 0});
        }
        return keys;
    };
    for (;;) {
        Property property;
        PropertyScope scope = PropertyScope::Table;
        const std::size_t propertyAt = reader.offset();
        const ResultCode result = reader.nextProperty(property, scope);
        if (result == rc::NoMoreData)
            break;
        if (result != rc::Ok)
            failRead(result, reader.offset());
        const std::string& name = property.name;
        if (name == kDefaultOrder) {
            frame.defaultKeys = keyColumnsOf(property, propertyAt, true);
        } else if (name == kUniqueKey || name == kPrimaryKey) {
            const auto keys = keyColumnsOf(property, propertyAt, false);
            const bool sameColumns =
                std::equal(keys.begin(), keys.end(), frame.defaultKeys.begin(), frame.defaultKeys.end(),
                           [](const KeyColumn& a, const KeyColumn& b) { return a.field == b.field; });
            if (frame.defaultKeys.empty() || sameColumns) {
                if (frame.defaultKeys.empty())
                    frame.defaultKeys = keys;
                frame.uniqueness = name == kPrimaryKey ? IndexUniqueness::Primary : IndexUniqueness::Unique;
            } else {
                frame.tableProperties.push_back(std::move(property));
            }
        } else if (name == kChangeLog) {
            // Change logging is off: the rows it describes are applied already.
        } else if (name == kAutoIncValue) {
            frame.autoIncValue = integerOf(property);
            if (!frame.autoIncValue)
                failRead(rc::InvalidArgument, propertyAt, "Cannot read the table property AUTOINCVALUE");
        } else {
            if (name == "LCID")
                frame.lcid = static_cast<std::uint32_t>(integerOf(property).value_or(0));
            else if (name == "READONLY")
                frame.readOnly = integerOf(property).value_or(0) != 0;
            else if (name == "DISABLE_INSERTS")
                frame.disableInserts = true;
            else if (name == "DISABLE_EDITS")
                frame.disableEdits = true;
            else if (name == "DISABLE_DELETES")
                frame.disableDeletes = true;
            else if (name == "DATASET_DELTA" || name == "DELTA")
                frame.changePacket = true;
            frame.tableProperties.push_back(std::move(property));
        }
    }
    for (const KeyColumn& key : frame.defaultKeys) {
        const FieldType type = fields[key.field].type;
        if (type == FieldType::Blob || isStructuredType(type))
            failRead(rc::UnsupportedType, reader.offset(),
                     "Column '" + fields[key.field].name + "' cannot be a key");
    }
}

// Each row is packed as it is read, so that a large file is held once.
std::vector<PackedRow> readRows(PacketReader& reader, const std::vector<ReadColumn>& columns,
                                std::size_t packetSize)
{
    std::vector<PackedRow> rows;
    std::string scratch; // one row, copied out at its exact size
    rows.reserve(std::min<std::size_t>(reader.rowCount(), packetSize / 8));
    for (std::uint32_t r = 0; r < reader.rowCount(); ++r) {
        std::uint8_t status = 0;
        std::span<const std::byte> value;
        if (const ResultCode result = reader.nextField(status, value))
            failRead(result, reader.offset());
        scratch.clear();
        for (const ReadColumn& column : columns) {
            const FieldDef& field = column.field;
            std::size_t limit = PacketReader::kUnlimited;
            if (field.type == FieldType::String)
                limit = column.fixedText ? field.byteLength : std::max<std::size_t>(field.size, 1);
            else if (field.type == FieldType::WideString)
                limit = std::max<std::size_t>(2 * std::size_t{field.size}, 2);
            else if (field.type == FieldType::VarBytes)
                limit = field.size;
            std::uint8_t fieldStatus = 0;
            const ResultCode result = reader.nextField(fieldStatus, value, limit);
            const auto tooLong = [&] {
                failRead(rc::InvalidArgument, reader.offset(),
                         "Cannot read the table: a value of column '" + field.name +
                             "' is longer than its width of " + std::to_string(field.size));
            };
            if (result == rc::InvalidArgument)
                tooLong();
            if (result != rc::Ok && result != rc::FieldIsNull)
                failRead(result, reader.offset());
            if (fieldStatus != packet::kFieldHasValue) {
                scratch.push_back('\1');
                continue;
            }
            auto text = std::string_view(reinterpret_cast<const char*>(value.data()), value.size());
            if (field.type == FieldType::String) {
                if (column.fixedText) {
                    // A fixed-width text ends at its first zero byte; one that fills the
                    // whole width has no room for it and would not fit the column.
                    text = text.substr(0, text.find('\0'));
                    if (text.size() > field.size)
                        tooLong();
                } else if (text.size() == 1 && text[0] == '\0') {
                    text = {}; // the empty string is stored as one zero byte
                }
            }
            scratch.push_back('\0');
            const auto length = static_cast<std::uint32_t>(text.size()); // host order, as packRow writes it
            scratch.append(reinterpret_cast<const char*>(&length), 4);
            scratch.append(text);
        }
        rows.push_back(PackedRow{status, scratch});
    }
    return rows;
}

// After the counted rows the packet must end: anything more is a row count that is too
// small or damage, and a table that silently left it out would lose it at the next save.
void readEnd(PacketReader& reader)
{
    std::uint8_t status = 0;
    std::span<const std::byte> value;
    const ResultCode result = reader.nextField(status, value);
    if (result != rc::NoMoreData)
        failRead(result == rc::Ok ? rc::BadPacket : result, reader.offset(),
                 "Cannot read the table: bytes follow its last row");
}

} // namespace

TablePacket readTablePacket(std::span<const std::byte> bytes)
{
    PacketReader reader;
    if (const ResultCode result = reader.open(bytes))
        failRead(result, reader.offset());
    if ((reader.flags() & packet::kFlagMetadata) == 0)
        failRead(rc::NoMetadata, 18);

    TablePacket table;
    const std::vector<ReadColumn> columns = readColumns(reader);
    table.fields.reserve(columns.size());
    for (const ReadColumn& column : columns)
        table.fields.push_back(column.field);
    readTableProperties(reader, table);
    if ((reader.flags() & packet::kFlagRowDataOffset) != 0 && reader.rowDataOffset() != reader.offset())
        failRead(rc::BadPacket, reader.offset(),
                 "Cannot read the table: its header says the rows start at byte " +
                     std::to_string(reader.rowDataOffset()) + ", not where they do");
    table.rows = readRows(reader, columns, bytes.size());
    readEnd(reader);
    return table;
}

} // namespace stowmere::store
