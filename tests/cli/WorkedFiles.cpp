// SPDX-License-Identifier: GPL-3.0-or-later
#include "WorkedFiles.h"

#include "support/PacketBytes.h"

#include <cstdint>
#include <string_view>

namespace stowmere::cli::test {
namespace {

using stowmere::testing::autoincColumn;
using stowmere::testing::Bytes;
using stowmere::testing::widthProperty;

void header(Bytes& b, std::uint32_t rows, unsigned rowDataOffset)
{
    b.u32(0xBDE01996).u16(1).u16(0).u32(24).u16(3).u32(rows).u32(3).u16(rowDataOffset);
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
