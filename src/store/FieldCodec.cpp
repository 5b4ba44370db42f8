// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/FieldCodec.h"

#include "store/PacketFormat.h"

#include <cstring>

namespace stowmere::store {

namespace le {

std::uint64_t read(const std::byte* bytes, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = (value << 8) | std::to_integer<std::uint64_t>(bytes[i]);
    return value;
}

void write(std::byte* bytes, std::uint64_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i) {
        bytes[i] = static_cast<std::byte>(value & 0xFF);
        value >>= 8;
    }
}

void append(std::vector<std::byte>& out, std::uint64_t value, std::size_t width)
{
    const std::size_t at = out.size();
    out.resize(at + width);
    write(out.data() + at, value, width);
}

} // namespace le

namespace {

bool fixedSizeAllowed(std::uint32_t base, std::uint32_t size)
{
    switch (base) {
    case packet::kBaseSigned:
    case packet::kBaseUnsigned:
        return size == 1 || size == 2 || size == 4 || size == 8;
    case packet::kBaseBoolean:
        return size == 1 || size == 2 || size == 4;
    case packet::kBaseFloat:
        return size == 8 || size == 10;
    case packet::kBaseDate:
    case packet::kBaseTime:
        return size == 4;
    case packet::kBaseDateTime:
        return size == 8;
    case packet::kBaseTimeStamp:
        return size == 16;
    case packet::kBaseBcd:
    case packet::kBaseFmtBcd:
    case packet::kBaseString:
    case packet::kBaseBytes:
    case packet::kBaseBytesAlias:
        return size >= 1;
    default:
        return false; // 16-bit strings are varying only; structured kinds have no flat value
    }
}

bool varyingAllowed(std::uint32_t base, std::uint32_t size)
{
    const bool textOrBytes = base == packet::kBaseString || base == packet::kBaseWideString ||
                             base == packet::kBaseBytes || base == packet::kBaseBytesAlias;
    return textOrBytes && (size == 1 || size == 2 || size == 4);
}

} // namespace

ResultCode FieldCodec::make(std::uint32_t typeWord, FieldCodec& codec)
{
    const std::uint32_t base = packet::baseType(typeWord);
    const std::uint32_t size = packet::sizeOf(typeWord);
    const bool varying = (typeWord & packet::kVarying) != 0;
    const bool array = (typeWord & packet::kArray) != 0;
    if (varying && array)
        return rc::UnsupportedType;
    if (varying ? !varyingAllowed(base, size) : !fixedSizeAllowed(base, size))
        return rc::UnsupportedType;
    codec.m_typeWord = typeWord;
    codec.m_width = size;
    codec.m_varying = varying;
    codec.m_array = array;
    return rc::Ok;
}

std::size_t FieldCodec::maxPayload() const
{
    if (m_varying) {
        // A 4-byte prefix is signed in the file; a negative one means "no bytes".
        return m_width == 1 ? 0xFF : m_width == 2 ? 0xFFFF : 0x7FFFFFFF;
    }
    if (m_array)
        return std::size_t{0x7FFFFFFF} / m_width * m_width;
    return m_width;
}

std::size_t FieldCodec::encodedSize(std::size_t payloadSize) const
{
    if (m_varying)
        return m_width + payloadSize;
    if (m_array)
        return 4 + payloadSize;
    return m_width;
}

ResultCode FieldCodec::encode(std::span<const std::byte> payload, std::vector<std::byte>& out) const
{
    if (m_varying) {
        if (payload.size() > maxPayload())
            return rc::InvalidArgument;
        le::append(out, payload.size(), m_width);
    } else if (m_array) {
        if (payload.size() % m_width != 0 || payload.size() > maxPayload())
            return rc::InvalidArgument;
        le::append(out, payload.size() / m_width, 4);
    } else if (payload.size() != m_width) {
        return rc::InvalidArgument;
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return rc::Ok;
}

ResultCode FieldCodec::decode(std::span<const std::byte> bytes, std::size_t& pos,
                              std::span<const std::byte>& payload) const
{
    if (pos > bytes.size())
        return rc::BadPacket;
    const std::size_t remaining = bytes.size() - pos;
    std::size_t header = 0;
    std::size_t length = m_width;
    if (m_varying || m_array) {
        header = m_varying ? m_width : 4;
        if (remaining < header)
            return rc::BadPacket;
        const std::uint64_t raw = le::read(bytes.data() + pos, header);
        if (m_varying) {
            length = static_cast<std::size_t>(raw);
            if (header == 4 && (raw & 0x80000000u) != 0)
                length = 0; // a negative length carries no data
        } else {
            // Element count times width, checked before multiplying so it cannot wrap.
            if (raw > (remaining - header) / m_width)
                return rc::BadPacket;
            length = static_cast<std::size_t>(raw) * m_width;
        }
    }
    if (length > remaining - header)
        return rc::BadPacket;
    payload = bytes.subspan(pos + header, length);
    pos += header + length;
    return rc::Ok;
}

} // namespace stowmere::store
