// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/PacketFormat.h"
#include "store/ResultCode.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace stowmere::store {

/// Everything a packet holds, as read, for inspection tools. When reading fails part-way,
/// the members hold what was read before the failure and result/offset say why and where.
struct PacketContents {
    struct Column {
        ColumnDescriptor descriptor;
        std::vector<Property> properties;
    };
    struct Field {
        std::uint8_t status = 0; // 0 value, 1 null, 2 unchanged
        std::string value;       // the payload of status 0
    };
    struct Row {
        std::uint8_t status = 0;
        std::vector<Field> fields; // fewer than the columns when reading stopped inside the row
    };

    std::uint32_t signature = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
    std::uint32_t headerSize = 0;
    std::uint16_t columnCount = 0;
    std::uint32_t rowCount = 0;
    std::uint32_t flags = 0;
    std::uint16_t rowDataOffset = 0;
    bool headerRead = false;

    std::vector<Column> columns;
    std::vector<Property> tableProperties;
    std::vector<Row> rows;

    ResultCode result = rc::Ok; ///< Ok when the whole packet was read
    std::size_t offset = 0;     ///< where reading stopped; after a full read, the end of the last row
};

/// Reads a whole packet into PacketContents, stopping at the first failure. Never throws
/// for bad input.
PacketContents readPacketContents(std::span<const std::byte> packet);

} // namespace stowmere::store
