// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/TablePacket.h"

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace stowmere::store {

/// Writes a table as a binary data packet: the frame's columns with their properties, its
/// table properties ("AUTOINCVALUE" when the frame has numbering) and the rows, each given
/// as PackedRow::data, in file order, every one with row status 0. Throws StoreError.
std::vector<std::byte> writeTablePacket(const TableFrame& frame, std::span<const std::string_view> rows);

} // namespace stowmere::store
