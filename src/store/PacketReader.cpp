// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/PacketReader.h"

#include "platform/Utf8.h"

namespace stowmere::store {
namespace {

// The smallest column descriptor: name length, type word, attribute word, property count.
constexpr std::size_t kSmallestColumn = 1 + 4 + 2 + 2;
// The smallest property: name length, type word and a one-byte value (or length prefix).
constexpr std::size_t kSmallestProperty = 1 + 4 + 1;

} // namespace

std::uint64_t PacketReader::take(std::size_t width)
{
    const std::uint64_t value = le::read(m_packet.data() + m_pos, width);
    m_pos += width;
    return value;
}

ResultCode PacketReader::open(std::span<const std::byte> packet)
{
    *this = PacketReader();
    m_packet = packet;
    if (!has(4))
        return rc::BadPacket;
    m_signature = static_cast<std::uint32_t>(take(4));
    if (m_signature != packet::kSignature && m_signature != packet::kAlternativeSignature) {
        m_pos = 0;
        return rc::BadPacket; // the textual form is not supported
    }
    if (!has(packet::kHeaderSize - 4))
        return rc::BadPacket;
    m_major = static_cast<std::uint16_t>(take(2));
    m_minor = static_cast<std::uint16_t>(take(2));
    m_headerSize = static_cast<std::uint32_t>(take(4));
    m_columnCount = static_cast<std::uint16_t>(take(2));
    m_rowCount = static_cast<std::uint32_t>(take(4));
    m_flags = static_cast<std::uint32_t>(take(4));
    m_rowDataOffset = static_cast<std::uint16_t>(take(2));
    if (m_signature == packet::kSignature &&
        (m_major > packet::kHighestVersion || m_minor > packet::kHighestVersion)) {
        m_pos = 4;
        return rc::BadPacket;
    }
    if (m_headerSize < packet::kHeaderSize || m_headerSize > packet.size()) {
        m_pos = 8;
        return rc::BadPacket;
    }
    if (m_columnCount == 0 || m_columnCount > (packet.size() - m_headerSize) / kSmallestColumn) {
        m_pos = 12;
        return rc::BadPacket;
    }
    // Every row takes at least its status byte and its field status bits, so a row count
    // the packet cannot hold is refused here, before anyone sizes memory by it.
    const std::size_t smallestRow = 1 + packet::fieldStatusBytes(m_columnCount);
    if (m_rowCount > (packet.size() - m_headerSize) / smallestRow) {
        m_pos = 14;
        return rc::BadPacket;
    }
    m_pos = m_headerSize;
    m_stage = Stage::Columns;
    m_typeWords.reserve(m_columnCount);
    return rc::Ok;
}

ResultCode PacketReader::readName(std::string& name)
{
    if (!has(1))
        return rc::BadPacket;
    const std::size_t length = std::to_integer<std::size_t>(m_packet[m_pos]);
    if (!has(1 + length))
        return rc::BadPacket;
    ++m_pos;
    name.assign(reinterpret_cast<const char*>(m_packet.data() + m_pos), length);
    m_pos += length;
    return rc::Ok;
}

ResultCode PacketReader::nextColumn(ColumnDescriptor& column)
{
    if (m_stage != Stage::Columns)
        return m_stage == Stage::Closed ? rc::OutOfOrder : rc::NoMoreData;
    if (m_propertiesLeft > 0)
        return rc::OutOfOrder;
    if (m_typeWords.size() == m_columnCount) {
        m_columnEndSignalled = true;
        return rc::NoMoreData;
    }
    const std::size_t start = m_pos;
    ColumnDescriptor read;
    if (readName(read.name) != rc::Ok || !has(8)) {
        m_pos = start;
        return rc::BadPacket;
    }
    if (read.name.size() > packet::kMaxNameLength)
        read.name = std::string(utf8::prefixWithin(read.name, packet::kMaxNameLength));
    read.typeWord = static_cast<std::uint32_t>(take(4));
    read.attributes = static_cast<std::uint16_t>(take(2));
    const auto properties = static_cast<std::uint16_t>(take(2));
    if (packet::baseType(read.typeWord) > packet::kHighestBaseType) {
        m_pos = start;
        return rc::OutOfOrder;
    }
    if (properties > (m_packet.size() - m_pos) / kSmallestProperty) {
        m_pos = start;
        return rc::BadPacket;
    }
    m_propertiesLeft = properties;
    m_columnEndSignalled = false;
    m_typeWords.push_back(read.typeWord);
    column = std::move(read);
    return rc::Ok;
}

ResultCode PacketReader::readProperty(Property& property, std::size_t maxLength)
{
    const std::size_t start = m_pos;
    Property read;
    if (readName(read.name) != rc::Ok || !has(4)) {
        m_pos = start;
        return rc::BadPacket;
    }
    read.typeWord = static_cast<std::uint32_t>(take(4));
    FieldCodec codec;
    if (const ResultCode result = FieldCodec::make(read.typeWord, codec)) {
        m_pos = start;
        return result;
    }
    std::span<const std::byte> payload;
    if (const ResultCode result = codec.decode(m_packet, m_pos, payload)) {
        m_pos = start;
        return result;
    }
    if (payload.size() > maxLength) {
        m_pos = start;
        return rc::InvalidArgument;
    }
    read.value.assign(reinterpret_cast<const char*>(payload.data()), payload.size());
    property = std::move(read);
    return rc::Ok;
}

ResultCode PacketReader::nextProperty(Property& property, PropertyScope& scope, std::size_t maxLength)
{
    if (m_stage == Stage::Closed)
        return rc::OutOfOrder;
    if (m_stage == Stage::Rows)
        return rc::NoMoreData;
    if (m_stage == Stage::Columns) {
        if (m_propertiesLeft == 0 && (m_typeWords.size() < m_columnCount || !m_columnEndSignalled)) {
            // The current column has no more properties. After the last column this is
            // said once; the next call goes on with the table properties.
            m_columnEndSignalled = true;
            return rc::NoMoreData;
        }
        if (m_propertiesLeft == 0) {
            m_stage = Stage::TableProperties;
        } else {
            const ResultCode result = readProperty(property, maxLength);
            if (result == rc::Ok) {
                --m_propertiesLeft;
                scope = PropertyScope::Column;
            }
            return result;
        }
    }
    if (!m_tableCountRead) {
        if (!has(2))
            return rc::BadPacket;
        const auto count = static_cast<std::uint16_t>(le::read(m_packet.data() + m_pos, 2));
        if (count > (m_packet.size() - m_pos - 2) / kSmallestProperty)
            return rc::BadPacket;
        m_pos += 2;
        m_propertiesLeft = count;
        m_tableCountRead = true;
    }
    if (m_propertiesLeft == 0) {
        m_stage = Stage::Rows;
        return rc::NoMoreData;
    }
    const ResultCode result = readProperty(property, maxLength);
    if (result == rc::Ok) {
        --m_propertiesLeft;
        scope = PropertyScope::Table;
    }
    return result;
}

ResultCode PacketReader::startRows()
{
    if (m_stage != Stage::Rows || !m_codecs.empty())
        return m_stage == Stage::Rows ? rc::Ok : rc::OutOfOrder;
    // A row data offset that points elsewhere than where the rows really start means the
    // header and the body disagree; which one is right cannot be told, so neither is trusted.
    if ((m_flags & packet::kFlagRowDataOffset) != 0 && m_rowDataOffset != m_pos)
        return rc::BadPacket;
    std::vector<FieldCodec> codecs(m_typeWords.size());
    for (std::size_t i = 0; i < m_typeWords.size(); ++i)
        if (FieldCodec::make(m_typeWords[i], codecs[i]) != rc::Ok || codecs[i].isArray())
            return rc::NestedLevelOpen;
    m_codecs = std::move(codecs);
    return rc::Ok;
}

ResultCode PacketReader::nextField(std::uint8_t& status, std::span<const std::byte>& value,
                                   std::size_t maxLength)
{
    if (const ResultCode result = startRows())
        return result;
    value = {};
    if (!m_inRow) {
        if (m_rowsRead == m_rowCount) {
            // Bytes after the last counted row would be rows (or damage) that a table built
            // from this packet never holds, and the next save would drop them for good.
            return m_pos == m_packet.size() ? rc::NoMoreData : rc::BadPacket;
        }
        const std::size_t statusBytes = packet::fieldStatusBytes(m_codecs.size());
        if (!has(1 + statusBytes))
            return rc::BadPacket;
        m_rowStatusAt = m_pos + 1;
        status = static_cast<std::uint8_t>(take(1));
        m_pos += statusBytes;
        m_inRow = true;
        m_nextColumn = 0;
        return rc::Ok;
    }
    const std::size_t column = m_nextColumn;
    const auto bits = static_cast<std::uint8_t>(
        (std::to_integer<unsigned>(m_packet[m_rowStatusAt + column / 4]) >> (2 * (column % 4))) & 3);
    ResultCode result = rc::Ok;
    if (bits == 3)
        return rc::BadPacket; // null and unchanged at once
    if (bits == packet::kFieldHasValue) {
        std::size_t pos = m_pos;
        std::span<const std::byte> payload;
        if (const ResultCode decoded = m_codecs[column].decode(m_packet, pos, payload))
            return decoded;
        if (payload.size() > maxLength)
            return rc::InvalidArgument;
        m_pos = pos;
        value = payload;
    } else if (bits == packet::kFieldNull) {
        result = rc::FieldIsNull;
    }
    status = bits;
    if (++m_nextColumn == m_codecs.size()) {
        m_inRow = false;
        m_nextColumn = 0;
        ++m_rowsRead;
    }
    return result;
}

} // namespace stowmere::store
