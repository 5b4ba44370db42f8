// SPDX-License-Identifier: GPL-3.0-or-later
// TDataTable: reading the table from a data packet and writing it back.
#include "store/TDataTable.h"

#include "store/FieldCodec.h"
#include "store/PacketReader.h"
#include "store/PacketWriter.h"
#include "store/StoreError.h"

#include <algorithm>
#include <limits>

namespace stowmere::store {
namespace {

constexpr std::string_view kUniqueKey = "UNIQUE_KEY";
constexpr std::string_view kPrimaryKey = "PRIMARY_KEY";
constexpr std::string_view kChangeLog = "CHANGE_LOG";
constexpr std::string_view kAutoIncValue = "AUTOINCVALUE";
constexpr std::string_view kSubtype = "SUBTYPE";
constexpr std::string_view kWidth = "WIDTH";
constexpr std::string_view kElements = "ELEMENTS";
constexpr std::string_view kDecimals = "DECIMALS";
constexpr std::string_view kCalculated = "CALCULATED";

[[noreturn]] void failRead(ResultCode code, std::size_t offset, const std::string& what = "Cannot read the table")
{
    throw StoreError::fromCode(code, what, offset);
}

void checkWrite(ResultCode code)
{
    if (code != rc::Ok)
        throw StoreError::fromCode(code, "Cannot write the table");
}

std::span<const std::byte> bytesOf(std::string_view text) { return std::as_bytes(std::span(text.data(), text.size())); }

std::string uint16Bytes(std::uint32_t value)
{
    std::string out(2, '\0');
    le::write(reinterpret_cast<std::byte*>(out.data()), value, 2);
    return out;
}

// The value of an integer property, or nothing when the property is not a plain integer.
std::optional<std::int64_t> integerOf(const Property& property)
{
    const std::uint32_t base = packet::baseType(property.typeWord);
    if ((base != packet::kBaseSigned && base != packet::kBaseUnsigned)
        || (property.typeWord & (packet::kVarying | packet::kArray)) != 0 || property.value.empty()
        || property.value.size() > 8)
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

bool hasWidthProperty(FieldType type)
{
    return type == FieldType::String || type == FieldType::WideString || type == FieldType::VarBytes
           || type == FieldType::Blob || type == FieldType::Bcd || type == FieldType::FmtBcd;
}

} // namespace

void TDataTable::LoadFromBytes(std::span<const std::byte> bytes)
{
    if (Active())
        Close();

    PacketReader reader;
    if (const ResultCode result = reader.open(bytes))
        failRead(result, reader.offset());
    if ((reader.flags() & packet::kFlagMetadata) == 0)
        failRead(rc::NoMetadata, 18);

    // Columns and their properties.
    std::vector<FieldDef> fields;
    std::vector<bool> fixedText;
    ColumnDescriptor column;
    for (;;) {
        const std::size_t columnAt = reader.offset();
        ResultCode result = reader.nextColumn(column);
        if (result == rc::NoMoreData)
            break;
        if (result != rc::Ok)
            failRead(result, reader.offset());
        // The writer refuses this name, so a table holding it could never be saved again.
        if (column.name == "RowState")
            failRead(rc::OutOfOrder, columnAt, "Cannot read the table: a column is named RowState");
        FieldDef field;
        field.name = column.name;
        field.type = fieldTypeFor(column.typeWord);
        const bool varying = (column.typeWord & packet::kVarying) != 0;
        field.byteLength = varying ? 0 : packet::sizeOf(column.typeWord);
        field.attributes = column.attributes;
        Property property;
        PropertyScope scope = PropertyScope::Column;
        for (;;) {
            const std::size_t propertyAt = reader.offset();
            result = reader.nextProperty(property, scope);
            if (result == rc::NoMoreData)
                break;
            if (result != rc::Ok)
                failRead(result, reader.offset());
            if (property.name == kSubtype) {
                if (packet::baseType(property.typeWord) != packet::kBaseString)
                    failRead(rc::InvalidArgument, propertyAt, "Cannot read the subtype of column '" + field.name + "'");
                const std::string_view name = std::string_view(property.value).substr(0, property.value.find('\0'));
                field.subtype = packet::subtypeFromName(name);
                if (field.subtype == packet::kSubtypeAutoinc)
                    field.attributes |= packet::kAttrReadOnly;
                if (field.subtype == packet::kSubtypeUnknown)
                    field.properties.push_back(std::move(property));
            } else if (property.name == kWidth || property.name == kElements) {
                const auto value = integerOf(property);
                if (!value || *value < 0 || *value > 0xFFFF)
                    failRead(rc::InvalidArgument, propertyAt, "Cannot read the width of column '" + field.name + "'");
                field.size = static_cast<std::uint32_t>(*value);
            } else if (property.name == kDecimals) {
                field.decimals = static_cast<std::uint16_t>(integerOf(property).value_or(0));
            } else if (property.name == kCalculated) {
                field.calculated = integerOf(property).value_or(0) != 0;
            } else {
                field.properties.push_back(std::move(property));
            }
        }
        // Complete the widths: a text column needs its width from the type word or "WIDTH".
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
                failRead(rc::UnsupportedType, columnAt, "Column '" + field.name + "' has a type the table cannot hold");
        }
        // Every column must be writable again with rows, whatever the file held so far.
        FieldCodec codec;
        const bool readable = FieldCodec::make(column.typeWord, codec) == rc::Ok && !codec.isArray();
        const bool writable = FieldCodec::make(typeWordFor(field.type, field.byteLength), codec) == rc::Ok
                              && !codec.isArray();
        const bool wideFits = field.type != FieldType::WideString || field.size <= 0x7FFF;
        if (!readable || !writable || !wideFits)
            failRead(rc::UnsupportedType, columnAt, "Column '" + field.name + "' has a type the table cannot hold");
        fixedText.push_back(field.type == FieldType::String && !varying);
        fields.push_back(std::move(field));
    }

    // Table properties.
    std::vector<Property> tableProperties;
    std::vector<KeyColumn> defaultKeys;
    TIndexUniqueness uniqueness = TIndexUniqueness::iuNone;
    bool defaultOrderFromPacket = false;
    std::optional<std::int64_t> autoIncValue;
    std::uint32_t lcid = 0;
    bool readOnly = false, disableInserts = false, disableEdits = false, disableDeletes = false, changePacket = false;
    const auto keyColumnsOf = [&](const Property& property, std::size_t at, bool withFlags) {
        const auto elements = elementsOf(property);
        if (!elements || elements->empty() || elements->size() > 16)
            failRead(rc::InvalidArgument, at, "Cannot read the table property " + property.name);
        std::vector<KeyColumn> keys;
        for (const std::uint32_t element : *elements) {
            const std::uint32_t number = withFlags ? (element & 0x3FFF) : element;
            if (number == 0 || number > fields.size())
                failRead(rc::InvalidArgument, at, "Cannot read the table property " + property.name);
            keys.push_back({number - 1, withFlags && (element & 0x8000) != 0, withFlags && (element & 0x4000) != 0});
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
        if (name == kDefaultOrderName) {
            defaultKeys = keyColumnsOf(property, propertyAt, true);
            defaultOrderFromPacket = true;
        } else if (name == kUniqueKey || name == kPrimaryKey) {
            const auto keys = keyColumnsOf(property, propertyAt, false);
            const bool sameColumns = std::equal(keys.begin(), keys.end(), defaultKeys.begin(), defaultKeys.end(),
                                                [](const KeyColumn& a, const KeyColumn& b) { return a.field == b.field; });
            if (defaultKeys.empty() || sameColumns) {
                if (defaultKeys.empty())
                    defaultKeys = keys;
                uniqueness = name == kPrimaryKey ? TIndexUniqueness::iuPrimary : TIndexUniqueness::iuUnique;
                defaultOrderFromPacket = true;
            } else {
                tableProperties.push_back(std::move(property));
            }
        } else if (name == kChangeLog) {
            // Change logging is off: the rows it describes are applied already.
        } else if (name == kAutoIncValue) {
            autoIncValue = integerOf(property);
            if (!autoIncValue)
                failRead(rc::InvalidArgument, propertyAt, "Cannot read the table property AUTOINCVALUE");
        } else {
            if (name == "LCID")
                lcid = static_cast<std::uint32_t>(integerOf(property).value_or(0));
            else if (name == "READONLY")
                readOnly = integerOf(property).value_or(0) != 0;
            else if (name == "DISABLE_INSERTS")
                disableInserts = true;
            else if (name == "DISABLE_EDITS")
                disableEdits = true;
            else if (name == "DISABLE_DELETES")
                disableDeletes = true;
            else if (name == "DATASET_DELTA" || name == "DELTA")
                changePacket = true;
            tableProperties.push_back(std::move(property));
        }
    }
    for (const KeyColumn& key : defaultKeys) {
        const FieldType type = fields[key.field].type;
        if (type == FieldType::Blob || isStructuredType(type))
            failRead(rc::UnsupportedType, reader.offset(), "Column '" + fields[key.field].name + "' cannot be a key");
    }

    // Rows, each packed as it is read so that a large file is held once.
    std::vector<Row> rows;
    std::string scratch; // one row, copied out at its exact size
    rows.reserve(std::min<std::size_t>(reader.rowCount(), bytes.size() / 8));
    for (std::uint32_t r = 0; r < reader.rowCount(); ++r) {
        std::uint8_t status = 0;
        std::span<const std::byte> value;
        if (const ResultCode result = reader.nextField(status, value))
            failRead(result, reader.offset());
        scratch.clear();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const FieldDef& field = fields[i];
            std::size_t limit = PacketReader::kUnlimited;
            if (field.type == FieldType::String)
                limit = fixedText[i] ? field.byteLength : std::max<std::size_t>(field.size, 1);
            else if (field.type == FieldType::WideString)
                limit = std::max<std::size_t>(2 * field.size, 2);
            else if (field.type == FieldType::VarBytes)
                limit = field.size;
            std::uint8_t fieldStatus = 0;
            const ResultCode result = reader.nextField(fieldStatus, value, limit);
            if (result == rc::InvalidArgument)
                failRead(result, reader.offset(), "Cannot read the table: a value of column '" + field.name
                                                      + "' is longer than its width of "
                                                      + std::to_string(field.size));
            if (result != rc::Ok && result != rc::FieldIsNull)
                failRead(result, reader.offset());
            if (fieldStatus != packet::kFieldHasValue) {
                scratch.push_back('\1');
                continue;
            }
            auto text = std::string_view(reinterpret_cast<const char*>(value.data()), value.size());
            if (field.type == FieldType::String) {
                if (fixedText[i]) {
                    // A fixed-width text ends at its first zero byte; one that fills the
                    // whole width has no room for it and would not fit the column.
                    text = text.substr(0, text.find('\0'));
                    if (text.size() > field.size)
                        failRead(rc::InvalidArgument, reader.offset(), "Cannot read the table: a value of column '"
                                                                           + field.name + "' is longer than its width of "
                                                                           + std::to_string(field.size));
                }
                else if (text.size() == 1 && text[0] == '\0')
                    text = {}; // the empty string is stored as one zero byte
            }
            scratch.push_back('\0');
            const auto length = static_cast<std::uint32_t>(text.size()); // host order, as pack() writes it
            scratch.append(reinterpret_cast<const char*>(&length), 4);
            scratch.append(text);
        }
        rows.push_back(Row{status, scratch});
    }

    // Everything was read: the table takes the new content.
    resetContent();
    m_fields = std::move(fields);
    m_rows = std::move(rows);
    m_tableProperties = std::move(tableProperties);
    m_readOnly = readOnly;
    m_disableInserts = disableInserts;
    m_disableEdits = disableEdits;
    m_disableDeletes = disableDeletes;
    m_changePacket = changePacket;
    if (autoIncValue) {
        for (std::size_t i = 0; i < m_fields.size(); ++i)
            if (m_fields[i].isAutoIncrement() && m_fields[i].byteLength == 4) {
                m_autoIncField = i;
                m_autoIncNext = *autoIncValue;
                break;
            }
    }
    try {
        m_collator = std::make_unique<KeyCollator>(lcid);
    } catch (...) {
        resetContent();
        throw;
    }
    m_orders.push_back(Order{kDefaultOrderName, defaultKeys, uniqueness, false, {}});
    m_defaultOrderRedefined = defaultOrderFromPacket;
    openCommon();
}

std::vector<std::byte> TDataTable::SaveToBytes() const
{
    checkActive();
    PacketWriter writer;
    checkWrite(writer.beginPacket(packet::kHighestVersion, static_cast<std::uint16_t>(m_fields.size())));
    for (const FieldDef& field : m_fields) {
        checkWrite(writer.addColumn({field.name, typeWordFor(field.type, field.byteLength), field.attributes}));
        const std::string_view subtype = packet::subtypeName(field.subtype);
        if (!subtype.empty()) {
            std::string value(subtype);
            value.push_back('\0'); // the stored name counts its terminating zero
            checkWrite(writer.addProperty(PropertyScope::Column, kSubtype, packet::kTypeString2, bytesOf(value)));
        }
        if (field.decimals != 0 && !isStructuredType(field.type))
            checkWrite(writer.addProperty(PropertyScope::Column, kDecimals, packet::kTypeUInt16,
                                          bytesOf(uint16Bytes(field.decimals))));
        if (field.size != 0 && hasWidthProperty(field.type)) {
            if (field.size > 0xFFFF)
                throw StoreError(rc::InvalidArgument, "Cannot write the table: column '" + field.name
                                                          + "' is wider than 65535 bytes");
            checkWrite(writer.addProperty(PropertyScope::Column, kWidth, packet::kTypeUInt16,
                                          bytesOf(uint16Bytes(field.size))));
        }
        if (field.calculated && (field.attributes & packet::kAttrLink) == 0)
            checkWrite(writer.addProperty(PropertyScope::Column, kCalculated, packet::kTypeUInt16,
                                          bytesOf(uint16Bytes(1))));
        for (const Property& property : field.properties)
            checkWrite(writer.addProperty(PropertyScope::Column, property.name, property.typeWord, bytesOf(property.value)));
    }

    const Order& defaultOrder = m_orders[0];
    if (!defaultOrder.keys.empty() && !m_changePacket) {
        std::string keys;
        std::string columns;
        for (const KeyColumn& key : defaultOrder.keys) {
            std::uint32_t element = static_cast<std::uint32_t>(key.field + 1);
            columns += uint16Bytes(element);
            if (key.descending)
                element |= 0x8000;
            if (key.caseInsensitive)
                element |= 0x4000;
            keys += uint16Bytes(element);
        }
        checkWrite(writer.addProperty(PropertyScope::Table, kDefaultOrderName, packet::kTypeUInt16Array, bytesOf(keys)));
        if (defaultOrder.uniqueness != TIndexUniqueness::iuNone)
            checkWrite(writer.addProperty(PropertyScope::Table,
                                          defaultOrder.uniqueness == TIndexUniqueness::iuPrimary ? kPrimaryKey : kUniqueKey,
                                          packet::kTypeUInt16Array, bytesOf(columns)));
    }
    if (m_autoIncField) {
        std::string value(4, '\0');
        le::write(reinterpret_cast<std::byte*>(value.data()), static_cast<std::uint64_t>(m_autoIncNext), 4);
        checkWrite(writer.addProperty(PropertyScope::Table, kAutoIncValue, packet::kTypeInt32, bytesOf(value)));
    }
    for (const Property& property : m_tableProperties)
        checkWrite(writer.addProperty(PropertyScope::Table, property.name, property.typeWord, bytesOf(property.value)));
    checkWrite(writer.addProperty(PropertyScope::Table, {}, 0, {}));

    // Rows in the default order, which for a key-less default order is the order in which
    // rows were read and posted; browsing orders never change it.
    const std::byte rowStatus{0};
    const std::byte emptyText{0};
    for (const std::uint32_t slot : defaultOrder.slots) {
        checkWrite(writer.putField(0, &rowStatus, 1));
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            const auto value = fieldOf(slot, i);
            if (!value)
                checkWrite(writer.putField(packet::kFieldNull, nullptr, 0));
            else if (value->empty() && m_fields[i].type == FieldType::String)
                checkWrite(writer.putField(0, &emptyText, 1)); // the empty string is one zero byte
            else
                checkWrite(writer.putField(0, reinterpret_cast<const std::byte*>(value->data()), value->size()));
        }
    }
    std::vector<std::byte> packet;
    checkWrite(writer.finish(packet));
    return packet;
}

} // namespace stowmere::store
