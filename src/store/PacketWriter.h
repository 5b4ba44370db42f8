// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/FieldCodec.h"
#include "store/PacketFormat.h"
#include "store/ResultCode.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace stowmere::store {

/// Builds one binary data packet in memory, strictly in the order header, columns (each
/// followed by its properties), table properties, rows. Every call returns a result code;
/// a refused call leaves the packet as it was.
class PacketWriter {
public:
    static constexpr std::size_t kInitialCapacity = 32768;
    static constexpr std::size_t kLargestGrowth = 1024000;

    /// Starts the packet. version must be at most 3, else BadPacket.
    ResultCode beginPacket(std::uint16_t version, std::uint16_t columnCount);
    /// Appends a column descriptor with no properties. OutOfOrder for a column named
    /// "RowState", a base type above 18, more columns than declared, or a column after the
    /// table properties; InvalidArgument for a name longer than 31 bytes.
    ResultCode addColumn(const ColumnDescriptor& column);
    /// Adds a property to the most recent column or to the table. value is the payload as
    /// Property describes it. A call with an empty name and no value marks the end of the
    /// table properties and adds nothing. OutOfOrder once rows have started.
    ResultCode addProperty(PropertyScope scope, std::string_view name, std::uint32_t typeWord,
                           std::span<const std::byte> value);
    /// Row data: first call of a row with value pointing at the row status byte, then one
    /// call per column in column order. status 0 with a value writes the value (length is
    /// the payload length of a varying value; a fixed value takes the column's width);
    /// status 1 or 2, or no value, marks the column null or unchanged.
    ResultCode putField(std::uint8_t status, const std::byte* value, std::size_t length);
    /// Completes the header and hands over the packet, exactly size() bytes.
    ResultCode finish(std::vector<std::byte>& packet);

    std::size_t size() const { return m_buffer.size(); }
    std::size_t capacity() const { return m_buffer.capacity(); }
    std::uint32_t rowCount() const { return m_rowCount; }

private:
    enum class Stage { Empty, Columns, TableProperties, Rows, Finished };

    ResultCode reserve(std::size_t bytes);
    void appendName(std::string_view name);
    void patch(std::size_t at, std::uint64_t value, std::size_t width);
    ResultCode enterTableProperties();
    ResultCode enterRows();

    std::vector<std::byte> m_buffer;
    Stage m_stage = Stage::Empty;
    unsigned m_growths = 0;
    std::uint16_t m_columnCount = 0;
    std::vector<ColumnDescriptor> m_columns;
    std::vector<FieldCodec> m_codecs;
    std::size_t m_columnPropertyCountAt = 0;
    std::uint16_t m_columnPropertyCount = 0;
    std::size_t m_tablePropertyCountAt = 0;
    std::uint16_t m_tablePropertyCount = 0;
    bool m_rowStarted = false; // at least one row was begun
    std::size_t m_rowStart = 0;
    std::size_t m_nextColumn = 0; // 0 with m_inRow false: the next call is a row status byte
    bool m_inRow = false;
    std::uint32_t m_rowCount = 0;
    std::uint32_t m_flags = 0;
};

} // namespace stowmere::store
