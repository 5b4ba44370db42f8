// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/TablePacket.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace stowmere::store {

/// Writes a table as a binary data packet: the frame's columns with their properties, its
/// table properties ("AUTOINCVALUE" when the frame has numbering) and the rows
/// rows[order[0]], rows[order[1]], ... in that order, every one with row status 0. Throws
/// StoreError.
std::vector<std::byte> writeTablePacket(const TableFrame& frame, std::span<const PackedRow> rows,
                                        std::span<const std::uint32_t> order);

} // namespace stowmere::store
