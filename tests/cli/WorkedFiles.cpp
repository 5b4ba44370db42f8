// SPDX-License-Identifier: GPL-3.0-or-later
#include "WorkedFiles.h"

#include <cstdint>
#include <string_view>

namespace stowmere::cli::test {
namespace {

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
    std::vector<std::byte> take() { return std::move(m_bytes); }

private:
    std::vector<std::byte> m_bytes;
};

void header(Bytes& b, std::uint32_t rows, unsigned rowDataOffset)
{
    b.u32(0xBDE01996).u16(1).u16(0).u32(24).u16(3).u32(rows).u32(3).u16(rowDataOffset);
}

void autoincColumn(Bytes& b, std::string_view name)
{
    b.name(name).u32(0x00010004).u16(0x0002).u16(1);
    b.name("SUBTYPE").u32(0x00490002).u16(8).text("Autoinc").u8(0);
}

void widthProperty(Bytes& b, unsigned width)
{
    b.name("WIDTH").u32(0x00020002).u16(width);
}

} // namespace

std::vector<std::byte> workedCategoryFile()
{
    Bytes b;
    header(b, 1, 175);
    autoincColumn(b, "Category_No");
    b.name("Category_Description").u32(0x00490001).u16(0).u16(1);
    widthProperty(b, 50);
    b.name("Category_BackupDirectory").u32(0x00490002).u16(0).u16(1);
    widthProperty(b, 255);
    b.u16(1).name("AUTOINCVALUE").u32(0x00010004).u32(2);
    b.u8(0).u8(0).u32(1).u8(3).text("abc").u16(6).text("D:\\Bak");
    return b.take();
}

std::vector<std::byte> emptyPathFile()
{
    Bytes b;
    header(b, 0, 135);
    autoincColumn(b, "Path_No");
    b.name("Category_No").u32(0x00010004).u16(0).u16(0);
    b.name("Path_Item").u32(0x00490002).u16(0).u16(1);
    widthProperty(b, 255);
    b.u16(1).name("AUTOINCVALUE").u32(0x00010004).u32(1);
    return b.take();
}

} // namespace stowmere::cli::test
