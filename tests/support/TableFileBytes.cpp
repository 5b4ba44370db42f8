// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TableFileBytes.h"

#include "support/PacketBytes.h"

#include <string_view>

namespace stowmere::testing {
namespace {

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
