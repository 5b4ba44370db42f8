// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TableFileBytes.h"

#include <string_view>

namespace stowmere::testing {
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

void autoincColumn(Bytes& b, std::string_view name)
{
    b.name(name).u32(0x00010004).u16(0x0002).u16(1);
    b.name("SUBTYPE").u32(0x00490002).u16(8).text("Autoinc").u8(0);
}

void widthProperty(Bytes& b, unsigned width)
{
    b.name("WIDTH").u32(0x00020002).u16(width);
}

void tableProperties(Bytes& b, std::optional<std::int32_t> autoIncValue)
{
    b.u16(autoIncValue ? 1 : 0);
    if (autoIncValue)
        b.name("AUTOINCVALUE").u32(0x00010004).u32(static_cast<std::uint32_t>(*autoIncValue));
}

void patch(std::vector<std::byte>& file, std::size_t at, std::uint32_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        file[at + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

std::vector<std::byte> finish(Bytes& b, std::size_t rows, std::size_t rowsAt)
{
    std::vector<std::byte> file = b.take();
    setRowCount(file, static_cast<std::uint32_t>(rows));
    setRowDataOffset(file, static_cast<std::uint16_t>(rowsAt));
    return file;
}

void header(Bytes& b)
{
    b.u32(0xBDE01996).u16(1).u16(0).u32(24).u16(3).u32(0).u32(3).u16(0);
}

} // namespace

std::vector<std::byte> categoryFileBytes(const std::vector<SetRow>& rows,
                                         std::optional<std::int32_t> autoIncValue)
{
    Bytes b;
    header(b);
    autoincColumn(b, "Category_No");
    b.name("Category_Description").u32(0x00490001).u16(0).u16(1);
    widthProperty(b, 50);
    b.name("Category_BackupDirectory").u32(0x00490002).u16(0).u16(1);
    widthProperty(b, 255);
    tableProperties(b, autoIncValue);
    const std::size_t rowsAt = b.size();
    for (const SetRow& row : rows)
        b.u8(0)
            .u8(0)
            .u32(static_cast<std::uint32_t>(row.number))
            .value(row.description, 1)
            .value(row.destination, 2);
    return finish(b, rows.size(), rowsAt);
}

std::vector<std::byte> pathFileBytes(const std::vector<PathRow>& rows,
                                     std::optional<std::int32_t> autoIncValue)
{
    Bytes b;
    header(b);
    autoincColumn(b, "Path_No");
    b.name("Category_No").u32(0x00010004).u16(0).u16(0);
    b.name("Path_Item").u32(0x00490002).u16(0).u16(1);
    widthProperty(b, 255);
    tableProperties(b, autoIncValue);
    const std::size_t rowsAt = b.size();
    for (const PathRow& row : rows)
        b.u8(0)
            .u8(0)
            .u32(static_cast<std::uint32_t>(row.number))
            .u32(static_cast<std::uint32_t>(row.setNumber))
            .value(row.item, 2);
    return finish(b, rows.size(), rowsAt);
}

std::size_t rowDataOffset(const std::vector<std::byte>& file)
{
    return std::to_integer<std::size_t>(file[22]) | (std::to_integer<std::size_t>(file[23]) << 8);
}

void setRowCount(std::vector<std::byte>& file, std::uint32_t rows)
{
    patch(file, 14, rows, 4);
}

void setRowDataOffset(std::vector<std::byte>& file, std::uint16_t offset)
{
    patch(file, 22, offset, 2);
}

} // namespace stowmere::testing
