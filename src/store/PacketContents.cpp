// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/PacketContents.h"

#include "store/PacketReader.h"

namespace stowmere::store {

PacketContents readPacketContents(std::span<const std::byte> packet)
{
    PacketContents contents;
    PacketReader reader;
    const auto stop = [&](ResultCode result) {
        contents.result = result;
        contents.offset = reader.offset();
        return contents;
    };

    const ResultCode opened = reader.open(packet);
    contents.signature = reader.signature();
    contents.majorVersion = reader.majorVersion();
    contents.minorVersion = reader.minorVersion();
    contents.headerSize = reader.headerSize();
    contents.columnCount = reader.columnCount();
    contents.rowCount = reader.rowCount();
    contents.flags = reader.flags();
    contents.rowDataOffset = reader.rowDataOffset();
    contents.headerRead = packet.size() >= packet::kHeaderSize;
    if (opened != rc::Ok)
        return stop(opened);

    for (;;) {
        PacketContents::Column column;
        ResultCode result = reader.nextColumn(column.descriptor);
        if (result == rc::NoMoreData)
            break;
        if (result != rc::Ok)
            return stop(result);
        contents.columns.push_back(std::move(column));
        Property property;
        PropertyScope scope = PropertyScope::Column;
        while ((result = reader.nextProperty(property, scope)) == rc::Ok)
            contents.columns.back().properties.push_back(std::move(property));
        if (result != rc::NoMoreData)
            return stop(result);
    }
    Property property;
    PropertyScope scope = PropertyScope::Table;
    ResultCode result = rc::Ok;
    while ((result = reader.nextProperty(property, scope)) == rc::Ok)
        contents.tableProperties.push_back(std::move(property));
    if (result != rc::NoMoreData)
        return stop(result);

    for (;;) {
        std::uint8_t status = 0;
        std::span<const std::byte> value;
        const bool rowStart = reader.atRowStart();
        result = reader.nextField(status, value);
        if (result == rc::NoMoreData)
            break;
        if (result != rc::Ok && result != rc::FieldIsNull)
            return stop(result);
        if (rowStart) {
            contents.rows.push_back({status, {}});
            contents.rows.back().fields.reserve(contents.columns.size());
            continue;
        }
        contents.rows.back().fields.push_back(
            {status, std::string(reinterpret_cast<const char*>(value.data()), value.size())});
    }
    return stop(rc::Ok);
}

} // namespace stowmere::store
