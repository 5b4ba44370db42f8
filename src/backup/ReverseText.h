// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace stowmere::backup {

/// The text with its characters in reverse order. A UTF-8 multi-byte character is kept
/// whole; a byte that is not part of a well-formed character counts as one character.
std::string reverseText(std::string_view text);

} // namespace stowmere::backup
