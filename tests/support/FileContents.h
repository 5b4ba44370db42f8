// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::testing {

// Whole-file reads and writes for setting up and checking tests. A file that is missing
// or cannot be read reads as empty, so a test can compare it with what it expects; a write
// that fails throws, so a broken setup does not pass for the behaviour under test.

std::string readText(const std::filesystem::path& path);
std::vector<std::byte> readBytes(const std::filesystem::path& path);

/// Creates or truncates the file; its folder must exist.
void writeText(const std::filesystem::path& path, std::string_view text);
void writeBytes(const std::filesystem::path& path, std::span<const std::byte> data);

} // namespace stowmere::testing
