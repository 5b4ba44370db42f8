// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/FieldCodec.h"
#include "store/PacketFormat.h"
#include "store/ResultCode.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace stowmere::store {

/// Walks a binary data packet from front to back: header (open), column descriptors
/// (nextColumn) each followed by its properties (nextProperty), the table properties
/// (nextProperty after the last column), then the rows (nextField). Every count and length
/// is checked against the end of the packet before it is used: a packet that runs short or
/// contradicts itself is refused with BadPacket, and offset() tells where reading stopped.
/// The reader views the bytes given to open; they must outlive it.
class PacketReader {
public:
    static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

    /// Checks the signature, versions and header. BadPacket for a packet this reader cannot
    /// read: too short, unknown signature (the textual form is not supported), a version
    /// above 3, a header size outside the packet, no columns, or counts the packet cannot hold.
    ResultCode open(std::span<const std::byte> packet);

    /// The next column descriptor; its properties become current. NoMoreData after the
    /// last column; OutOfOrder while the previous column still has unread properties.
    /// Names longer than 31 bytes are cut to 31 (never inside a multi-byte character).
    ResultCode nextColumn(ColumnDescriptor& column);

    /// The next property of the current column or, once the last column's properties have
    /// ended (NoMoreData), of the table; scope tells which. NoMoreData when the current
    /// column (or the table) has none left; InvalidArgument, consuming nothing, when the value is longer
    /// than maxLength; UnsupportedType when its type word cannot be decoded.
    ResultCode nextProperty(Property& property, PropertyScope& scope, std::size_t maxLength = kUnlimited);

    /// Row data. At the start of a row: status is the row status byte and value is empty.
    /// Then once per column: status 0 with the value (Ok), status 1 (FieldIsNull) or status
    /// 2 (Ok, unchanged). InvalidArgument, consuming nothing, when the value is longer than
    /// maxLength. NoMoreData after the header's row count of rows, when they end exactly at
    /// the end of the packet; BadPacket, at the first unread byte, when bytes remain after
    /// them, and at the start of the rows when the header's row data offset points elsewhere.
    /// NestedLevelOpen when the columns have no flat value encoding.
    ResultCode nextField(std::uint8_t& status, std::span<const std::byte>& value,
                         std::size_t maxLength = kUnlimited);

    /// True when the next nextField call returns a row status byte.
    bool atRowStart() const { return m_nextColumn == 0 && !m_inRow; }
    /// Byte offset where the next read starts (where reading stopped after a failure).
    std::size_t offset() const { return m_pos; }

    std::uint32_t signature() const { return m_signature; }
    std::uint16_t majorVersion() const { return m_major; }
    std::uint16_t minorVersion() const { return m_minor; }
    std::uint32_t headerSize() const { return m_headerSize; }
    std::uint16_t columnCount() const { return m_columnCount; }
    std::uint32_t rowCount() const { return m_rowCount; }
    std::uint32_t flags() const { return m_flags; }
    std::uint16_t rowDataOffset() const { return m_rowDataOffset; }
    std::uint32_t rowsRead() const { return m_rowsRead; }

private:
    enum class Stage { Closed, Columns, TableProperties, Rows };

    bool has(std::size_t bytes) const { return m_packet.size() - m_pos >= bytes; }
    std::uint64_t take(std::size_t width);
    ResultCode readName(std::string& name);
    ResultCode readProperty(Property& property, std::size_t maxLength);
    ResultCode startRows();

    std::span<const std::byte> m_packet;
    std::size_t m_pos = 0;
    Stage m_stage = Stage::Closed;

    std::uint32_t m_signature = 0;
    std::uint16_t m_major = 0;
    std::uint16_t m_minor = 0;
    std::uint32_t m_headerSize = 0;
    std::uint16_t m_columnCount = 0;
    std::uint32_t m_rowCount = 0;
    std::uint32_t m_flags = 0;
    std::uint16_t m_rowDataOffset = 0;

    std::vector<std::uint32_t> m_typeWords;
    std::uint16_t m_propertiesLeft = 0;
    bool m_columnEndSignalled = false;
    bool m_tableCountRead = false;

    std::vector<FieldCodec> m_codecs;
    std::uint32_t m_rowsRead = 0;
    std::size_t m_rowStatusAt = 0;
    std::size_t m_nextColumn = 0;
    bool m_inRow = false;
};

} // namespace stowmere::store
