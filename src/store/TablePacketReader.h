// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/TablePacket.h"

#include <cstddef>
#include <span>

namespace stowmere::store {

/// Reads a whole data packet into a table's content: the column descriptors with their
/// properties, the table properties and the rows. The packet must be consumed exactly:
/// bytes after the last row, or a row data offset that disagrees with where the rows
/// start, refuse it like any damage. Throws StoreError with the result code and the byte
/// offset where reading stopped.
TablePacket readTablePacket(std::span<const std::byte> bytes);

} // namespace stowmere::store
