// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace stowmere::testing {

// Little-endian packet bytes written by hand, for table files the tests make without the
// program's own writer.
class Bytes {
public:
    Bytes& u8(unsigned value)
    {
        m_bytes.push_back(static_cast<std::byte>(value));
        return *this;
    }
    Bytes& u16(unsigned value) { return u8(value & 0xFF).u8((value >> 8) & 0xFF); }
    Bytes& u32(std::uint32_t value) { return u16(value & 0xFFFF).u16(value >> 16); }
    Bytes& text(std::string_view text)
    {
        for (const char c : text)
            u8(static_cast<unsigned char>(c));
        return *this;
    }
    Bytes& name(std::string_view name) { return u8(static_cast<unsigned>(name.size())).text(name); }
    // An 8-bit string value: the empty string is stored as one zero byte.
    Bytes& value(std::string_view text, unsigned prefix)
    {
        const std::string_view stored = text.empty() ? std::string_view("\0", 1) : text;
        return (prefix == 1 ? u8(static_cast<unsigned>(stored.size()))
                            : u16(static_cast<unsigned>(stored.size())))
            .text(stored);
    }
    std::vector<std::byte> take() { return std::move(m_bytes); }
    std::size_t size() const { return m_bytes.size(); }

private:
    std::vector<std::byte> m_bytes;
};

inline void autoincColumn(Bytes& b, std::string_view name)
{
    b.name(name).u32(0x00010004).u16(0x0002).u16(1);
    b.name("SUBTYPE").u32(0x00490002).u16(8).text("Autoinc").u8(0);
}

inline void widthProperty(Bytes& b, unsigned width)
{
    b.name("WIDTH").u32(0x00020002).u16(width);
}

} // namespace stowmere::testing
