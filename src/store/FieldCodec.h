// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/ResultCode.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace stowmere::store {

/// Encodes and decodes one value (a row value or a property value) by its type word:
/// fixed values are exactly the type word's size in bytes, varying values a little-endian
/// length prefix of that size followed by the bytes, arrays a 4-byte element count followed
/// by fixed-size elements. Payloads never include the prefix or the element count.
class FieldCodec {
public:
    FieldCodec() = default;

    /// Builds the codec for typeWord. UnsupportedType for a type word the encoders cannot
    /// handle (varying together with array, or a size not allowed for its base type).
    static ResultCode make(std::uint32_t typeWord, FieldCodec& codec);

    std::uint32_t typeWord() const { return m_typeWord; }
    bool isVarying() const { return m_varying; }
    bool isArray() const { return m_array; }
    /// Width of a fixed value or of one array element.
    std::size_t width() const { return m_width; }
    /// Width of the length prefix of a varying value (1, 2 or 4).
    std::size_t prefixWidth() const { return m_varying ? m_width : 0; }
    /// The longest payload the encoding can carry.
    std::size_t maxPayload() const;

    /// Bytes the encoding of a payload of payloadSize bytes takes.
    std::size_t encodedSize(std::size_t payloadSize) const;
    /// Appends the encoding of payload to out. InvalidArgument when the payload does not fit
    /// the encoding (too long for the prefix, a fixed value of the wrong width, an array
    /// payload that is not a whole number of elements).
    ResultCode encode(std::span<const std::byte> payload, std::vector<std::byte>& out) const;
    /// Decodes the value that starts at pos. On success payload views its bytes and pos moves
    /// past it; BadPacket when the value runs past the end of bytes (pos is then unchanged).
    ResultCode decode(std::span<const std::byte> bytes, std::size_t& pos,
                      std::span<const std::byte>& payload) const;

private:
    std::uint32_t m_typeWord = 0;
    std::size_t m_width = 0;
    bool m_varying = false;
    bool m_array = false;
};

/// Little-endian helpers used throughout the packet code.
namespace le {
std::uint64_t read(const std::byte* bytes, std::size_t width);
void append(std::vector<std::byte>& out, std::uint64_t value, std::size_t width);
void write(std::byte* bytes, std::uint64_t value, std::size_t width);
} // namespace le

} // namespace stowmere::store
