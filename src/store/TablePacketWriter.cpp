// SPDX-License-Identifier: GPL-3.0-or-later
// A table's content written as a data packet, one function per section of the packet.
#include "store/TablePacketWriter.h"

#include "store/FieldCodec.h"
#include "store/PacketWriter.h"
#include "store/StoreError.h"

#include <cstring>

namespace stowmere::store {
namespace {

using packet::kAutoIncValue;
using packet::kCalculated;
using packet::kDecimals;
using packet::kDefaultOrder;
using packet::kPrimaryKey;
using packet::kSubtype;
using packet::kUniqueKey;
using packet::kWidth;

void checkWrite(ResultCode code)
{
    if (code != rc::Ok)
        throw StoreError::fromCode(code, "Cannot write the table");
}

std::span<const std::byte> bytesOf(std::string_view text)
{
    return std::as_bytes(std::span(text.data(), text.size()));
}

std::string uint16Bytes(std::uint32_t value)
{
    std::string out(2, '\0');
    le::write(reinterpret_cast<std::byte*>(out.data()), value, 2);
    return out;
}

bool hasWidthProperty(FieldType type)
{
    return type == FieldType::String || type == FieldType::WideString || type == FieldType::VarBytes ||
           type == FieldType::Blob || type == FieldType::Bcd || type == FieldType::FmtBcd;
}

void writeColumnProperties(PacketWriter& writer, const FieldDef& field)
{
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
            throw StoreError(rc::InvalidArgument,
                             "Cannot write the table: column '" + field.name + "' is wider than 65535 bytes");
        checkWrite(writer.addProperty(PropertyScope::Column, kWidth, packet::kTypeUInt16,
                                      bytesOf(uint16Bytes(field.size))));
    }
    if (field.calculated && (field.attributes & packet::kAttrLink) == 0)
        checkWrite(writer.addProperty(PropertyScope::Column, kCalculated, packet::kTypeUInt16,
                                      bytesOf(uint16Bytes(1))));
    for (const Property& property : field.properties)
        checkWrite(writer.addProperty(PropertyScope::Column, property.name, property.typeWord,
                                      bytesOf(property.value)));
}

void writeColumns(PacketWriter& writer, const std::vector<FieldDef>& fields)
{
    for (const FieldDef& field : fields) {
        checkWrite(
            writer.addColumn({field.name, typeWordFor(field.type, field.byteLength), field.attributes}));
        writeColumnProperties(writer, field);
    }
}

void writeTableProperties(PacketWriter& writer, const TableFrame& frame)
{
    if (!frame.defaultKeys.empty() && !frame.changePacket) {
        std::string keys;
        std::string columns;
        for (const KeyColumn& key : frame.defaultKeys) {
            std::uint32_t element = static_cast<std::uint32_t>(key.field + 1);
            columns += uint16Bytes(element);
            if (key.descending)
                element |= 0x8000;
            if (key.caseInsensitive)
                element |= 0x4000;
            keys += uint16Bytes(element);
        }
        checkWrite(
            writer.addProperty(PropertyScope::Table, kDefaultOrder, packet::kTypeUInt16Array, bytesOf(keys)));
        if (frame.uniqueness != IndexUniqueness::None)
            checkWrite(writer.addProperty(
                PropertyScope::Table, frame.uniqueness == IndexUniqueness::Primary ? kPrimaryKey : kUniqueKey,
                packet::kTypeUInt16Array, bytesOf(columns)));
    }
    if (frame.autoIncValue) {
        std::string value(4, '\0');
        le::write(reinterpret_cast<std::byte*>(value.data()), static_cast<std::uint64_t>(*frame.autoIncValue),
                  4);
        checkWrite(
            writer.addProperty(PropertyScope::Table, kAutoIncValue, packet::kTypeInt32, bytesOf(value)));
    }
    for (const Property& property : frame.tableProperties)
        checkWrite(writer.addProperty(PropertyScope::Table, property.name, property.typeWord,
                                      bytesOf(property.value)));
    checkWrite(writer.addProperty(PropertyScope::Table, {}, 0, {}));
}

void writeRows(PacketWriter& writer, const std::vector<FieldDef>& fields, std::span<const PackedRow> rows,
               std::span<const std::uint32_t> order)
{
    const std::byte rowStatus{0};
    const std::byte emptyText{0};
    for (const std::uint32_t slot : order) {
        const std::string_view data = rows[slot].data;
        checkWrite(writer.putField(0, &rowStatus, 1));
        // The packed fields follow one another, so one pass walks the whole row.
        std::size_t pos = 0;
        for (const FieldDef& field : fields) {
            if (pos >= data.size() || data[pos] != '\0') {
                ++pos;
                checkWrite(writer.putField(packet::kFieldNull, nullptr, 0));
                continue;
            }
            std::uint32_t length = 0;
            std::memcpy(&length, data.data() + pos + 1, 4);
            const auto* value = reinterpret_cast<const std::byte*>(data.data() + pos + 5);
            pos += 5 + length;
            if (length == 0 && field.type == FieldType::String)
                checkWrite(writer.putField(0, &emptyText, 1)); // the empty string is one zero byte
            else
                checkWrite(writer.putField(0, value, length));
        }
    }
}

} // namespace

std::vector<std::byte> writeTablePacket(const TableFrame& frame, std::span<const PackedRow> rows,
                                        std::span<const std::uint32_t> order)
{
    PacketWriter writer;
    checkWrite(writer.beginPacket(packet::kHighestVersion, static_cast<std::uint16_t>(frame.fields.size())));
    writeColumns(writer, frame.fields);
    writeTableProperties(writer, frame);
    writeRows(writer, frame.fields, rows, order);
    std::vector<std::byte> packet;
    checkWrite(writer.finish(packet));
    return packet;
}

} // namespace stowmere::store
