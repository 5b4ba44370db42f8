// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::testing {

// Table files written byte by byte, as the program writes them, without the program's own
// writer, so tests can make files (damaged ones included) that the program never would.

struct SetRow {
    std::int32_t number = 0;
    std::string description;
    std::string destination;
};

struct PathRow {
    std::int32_t number = 0;
    std::int32_t setNumber = 0;
    std::string item;
};

/// Category.cds holding rows in file order; no autoIncValue leaves out "AUTOINCVALUE".
std::vector<std::byte> categoryFileBytes(const std::vector<SetRow>& rows,
                                         std::optional<std::int32_t> autoIncValue);
/// Path.cds holding rows in file order; no autoIncValue leaves out "AUTOINCVALUE".
std::vector<std::byte> pathFileBytes(const std::vector<PathRow>& rows,
                                     std::optional<std::int32_t> autoIncValue);

/// Where the rows of a file made by the functions above start.
std::size_t rowDataOffset(const std::vector<std::byte>& file);
/// Overwrites the header's row count.
void setRowCount(std::vector<std::byte>& file, std::uint32_t rows);
/// Overwrites the header's row data offset.
void setRowDataOffset(std::vector<std::byte>& file, std::uint16_t offset);

} // namespace stowmere::testing
