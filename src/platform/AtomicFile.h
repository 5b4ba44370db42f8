// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace stowmere {

/// The permission bits of a file that writeFileAtomically creates: read and write for its
/// owner alone.
inline constexpr unsigned kNewFileMode = 0600;

/// Replaces the file at path with data so that a crash or a failed write never leaves a
/// half-written file: the bytes go to a temporary file beside the target, are flushed to
/// disk, and the temporary file is renamed over the target. On failure the temporary file
/// is removed, the old file is left as it was, and std::system_error is thrown with a text
/// naming the file and the reason. A file that did not exist is created with kNewFileMode;
/// a replaced file keeps its permission bits.
void writeFileAtomically(const std::string& path, std::span<const std::byte> data);

} // namespace stowmere
