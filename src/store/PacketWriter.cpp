// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/PacketWriter.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace stowmere::store {
namespace {

// Header field offsets
constexpr std::size_t kAtMajor = 4;
constexpr std::size_t kAtRowCount = 14;
constexpr std::size_t kAtFlags = 18;
constexpr std::size_t kAtRowDataOffset = 22;

// Room reserved for one column descriptor; names are at most 31 bytes, so it always fits.
constexpr std::size_t kColumnReserve = 139;

} // namespace

ResultCode PacketWriter::reserve(std::size_t bytes)
{
    const std::size_t capacity = m_buffer.capacity();
    if (m_buffer.size() + bytes <= capacity)
        return rc::Ok;
    std::size_t growth = bytes;
    if (m_growths % 2 == 0)
        growth = std::max(growth, kInitialCapacity);
    else
        growth = std::max(growth, std::min(capacity, kLargestGrowth));
    try {
        m_buffer.reserve(capacity + growth);
    } catch (const std::bad_alloc&) {
        return rc::OutOfMemory;
    } catch (const std::length_error&) {
        return rc::OutOfMemory;
    }
    ++m_growths;
    return rc::Ok;
}

void PacketWriter::patch(std::size_t at, std::uint64_t value, std::size_t width)
{
    le::write(m_buffer.data() + at, value, width);
}

void PacketWriter::appendName(std::string_view name)
{
    m_buffer.push_back(static_cast<std::byte>(name.size()));
    const auto* bytes = reinterpret_cast<const std::byte*>(name.data());
    m_buffer.insert(m_buffer.end(), bytes, bytes + name.size());
}

ResultCode PacketWriter::beginPacket(std::uint16_t version, std::uint16_t columnCount)
{
    if (m_stage != Stage::Empty)
        return rc::OutOfOrder;
    if (version > packet::kHighestVersion)
        return rc::BadPacket;
    try {
        m_buffer.reserve(kInitialCapacity);
    } catch (const std::bad_alloc&) {
        return rc::OutOfMemory;
    }
    m_flags = packet::kFlagMetadata;
    le::append(m_buffer, packet::kSignature, 4);
    le::append(m_buffer, 1, 2); // major version
    le::append(m_buffer, 0, 2); // minor version
    le::append(m_buffer, packet::kHeaderSize, 4);
    le::append(m_buffer, columnCount, 2);
    le::append(m_buffer, 0, 4); // row count
    le::append(m_buffer, m_flags, 4);
    le::append(m_buffer, 0, 2); // row data offset
    m_columnCount = columnCount;
    m_stage = Stage::Columns;
    return rc::Ok;
}

ResultCode PacketWriter::addColumn(const ColumnDescriptor& column)
{
    if (m_stage != Stage::Columns || m_columns.size() >= m_columnCount || column.name == "RowState")
        return rc::OutOfOrder;
    const std::uint32_t base = packet::baseType(column.typeWord);
    if (base > packet::kHighestBaseType)
        return rc::OutOfOrder;
    if (column.name.size() > packet::kMaxNameLength)
        return rc::InvalidArgument;
    if (const ResultCode result = reserve(kColumnReserve))
        return result;
    appendName(column.name);
    le::append(m_buffer, column.typeWord, 4);
    le::append(m_buffer, column.attributes, 2);
    m_columnPropertyCountAt = m_buffer.size();
    m_columnPropertyCount = 0;
    le::append(m_buffer, 0, 2);
    m_columns.push_back(column);
    if (base >= packet::kBaseStructured)
        patch(kAtMajor, 2, 2);
    return rc::Ok;
}

ResultCode PacketWriter::enterTableProperties()
{
    if (m_stage == Stage::TableProperties)
        return rc::Ok;
    if (m_stage != Stage::Columns || m_columns.size() != m_columnCount)
        return rc::OutOfOrder;
    if (const ResultCode result = reserve(2))
        return result;
    m_tablePropertyCountAt = m_buffer.size();
    le::append(m_buffer, 0, 2);
    m_stage = Stage::TableProperties;
    return rc::Ok;
}

ResultCode PacketWriter::addProperty(PropertyScope scope, std::string_view name, std::uint32_t typeWord,
                                     std::span<const std::byte> value)
{
    if (m_stage == Stage::Rows || m_stage == Stage::Finished || m_stage == Stage::Empty)
        return rc::OutOfOrder;
    if (name.empty() && value.empty()) {
        // End of the table properties: nothing to write at the top level.
        return scope == PropertyScope::Table ? enterTableProperties() : rc::Ok;
    }
    if (name.size() > 255)
        return rc::InvalidArgument;
    FieldCodec codec;
    if (const ResultCode result = FieldCodec::make(typeWord, codec))
        return result;
    if (scope == PropertyScope::Column) {
        if (m_stage != Stage::Columns || m_columns.empty())
            return rc::OutOfOrder;
        if (m_columnPropertyCount == 0xFFFF)
            return rc::OutOfOrder;
    } else {
        if (const ResultCode result = enterTableProperties())
            return result;
        if (m_tablePropertyCount == 0xFFFF)
            return rc::OutOfOrder;
    }
    if (const ResultCode result = reserve(name.size() + codec.encodedSize(value.size()) + 5))
        return result;
    const std::size_t start = m_buffer.size();
    appendName(name);
    le::append(m_buffer, typeWord, 4);
    if (const ResultCode result = codec.encode(value, m_buffer)) {
        m_buffer.resize(start);
        return result;
    }
    if (scope == PropertyScope::Column)
        patch(m_columnPropertyCountAt, ++m_columnPropertyCount, 2);
    else
        patch(m_tablePropertyCountAt, ++m_tablePropertyCount, 2);
    return rc::Ok;
}

ResultCode PacketWriter::enterRows()
{
    if (m_stage == Stage::Rows)
        return rc::Ok;
    if (const ResultCode result = enterTableProperties())
        return result;
    std::vector<FieldCodec> codecs(m_columns.size());
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        if (FieldCodec::make(m_columns[i].typeWord, codecs[i]) != rc::Ok || codecs[i].isArray())
            return rc::NestedLevelOpen;
    m_codecs = std::move(codecs);
    m_stage = Stage::Rows;
    return rc::Ok;
}

ResultCode PacketWriter::putField(std::uint8_t status, const std::byte* value, std::size_t length)
{
    if (m_stage == Stage::Finished || m_stage == Stage::Empty)
        return rc::OutOfOrder;
    if (!m_inRow && value == nullptr)
        return rc::InvalidArgument;
    if (const ResultCode result = enterRows())
        return result;

    if (!m_inRow) {
        const std::size_t statusBytes = packet::fieldStatusBytes(m_columns.size());
        if (const ResultCode result = reserve(1 + statusBytes))
            return result;
        if (!m_rowStarted) {
            m_rowStarted = true;
            if (m_buffer.size() <= 0xFFFF) {
                patch(kAtRowDataOffset, m_buffer.size(), 2);
                m_flags |= packet::kFlagRowDataOffset;
                patch(kAtFlags, m_flags, 4);
            }
        }
        m_rowStart = m_buffer.size();
        m_buffer.push_back(*value);
        m_buffer.insert(m_buffer.end(), statusBytes, std::byte{0});
        m_inRow = true;
        m_nextColumn = 0;
        return rc::Ok;
    }

    const std::size_t column = m_nextColumn;
    const FieldCodec& codec = m_codecs[column];
    if (status == packet::kFieldHasValue && value != nullptr) {
        if (!codec.isVarying()) {
            if (length < codec.width())
                return rc::InvalidArgument;
            length = codec.width();
        }
        if (length > codec.maxPayload())
            return rc::InvalidArgument;
        if (const ResultCode result = reserve(codec.encodedSize(length)))
            return result;
        if (const ResultCode result = codec.encode({value, length}, m_buffer))
            return result;
    } else {
        const std::size_t at = m_rowStart + 1 + column / 4;
        const unsigned bit = 2 * (column % 4) + (status == packet::kFieldUnchanged ? 1 : 0);
        m_buffer[at] |= static_cast<std::byte>(1u << bit);
    }
    if (++m_nextColumn == m_columns.size()) {
        m_inRow = false;
        ++m_rowCount;
        patch(kAtRowCount, m_rowCount, 4);
    }
    return rc::Ok;
}

ResultCode PacketWriter::finish(std::vector<std::byte>& packet)
{
    if (m_stage == Stage::Empty || m_stage == Stage::Finished)
        return rc::OutOfOrder;
    if (const ResultCode result = enterTableProperties(); result != rc::Ok && m_stage == Stage::Columns)
        return result;
    if (!m_rowStarted && m_buffer.size() <= 0xFFFF) {
        patch(kAtRowDataOffset, m_buffer.size(), 2);
        m_flags |= packet::kFlagRowDataOffset;
        patch(kAtFlags, m_flags, 4);
    }
    m_stage = Stage::Finished;
    packet = std::move(m_buffer);
    m_buffer.clear();
    return rc::Ok;
}

} // namespace stowmere::store
