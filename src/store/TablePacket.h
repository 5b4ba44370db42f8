// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/FieldDef.h"
#include "store/PacketFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::store {

enum class IndexUniqueness { None, Unique, Primary };

/// One key column of an order: the field's index and how it compares.
struct KeyColumn {
    std::size_t field = 0;
    bool descending = false;
    bool caseInsensitive = false;
};

/// One row as a table keeps it in memory. data holds, per field in column order, a flag
/// byte (0 value, 1 null) and, for a value, its length (4 bytes, host order) and its bytes.
struct PackedRow {
    std::uint8_t status = 0;
    std::string data;
};

/// Packs field values (none for null) into PackedRow::data.
std::string packRow(const std::vector<std::optional<std::string>>& values);
/// The value of field index in packed row data; none for null.
std::optional<std::string_view> packedField(std::string_view data, std::size_t index);

/// Everything of a table that a data packet carries besides its rows.
struct TableFrame {
    std::vector<FieldDef> fields;
    /// Table properties without a meaning of their own to the table, written back as read.
    std::vector<Property> tableProperties;
    /// Key columns of "DEFAULT_ORDER" (empty: rows in the order they were placed).
    std::vector<KeyColumn> defaultKeys;
    IndexUniqueness uniqueness = IndexUniqueness::None;
    /// "AUTOINCVALUE": the next automatic number; none when the packet has no numbering.
    std::optional<std::int64_t> autoIncValue;
    std::uint32_t lcid = 0;
    bool readOnly = false;
    bool disableInserts = false;
    bool disableEdits = false;
    bool disableDeletes = false;
    bool changePacket = false;
};

/// A whole table as read from a packet.
struct TablePacket : TableFrame {
    std::vector<PackedRow> rows;
};

} // namespace stowmere::store
