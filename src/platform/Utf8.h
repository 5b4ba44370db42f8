// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace stowmere::utf8 {

/// True when the text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValid(std::string_view text);

/// The text for a JSON string: valid UTF-8 as it is; otherwise every byte that is not part
/// of a valid character, and every backslash, as a "\xHH" escape, so that the bytes of a
/// name that is not UTF-8 can be told back exactly.
std::string withByteEscapes(std::string_view text);

/// The longest prefix of at most maxBytes bytes that does not end inside a multi-byte character.
std::string_view prefixWithin(std::string_view text, std::size_t maxBytes);

/// True when the text fits a column of maxBytes bytes.
inline bool fits(std::string_view text, std::size_t maxBytes)
{
    return text.size() <= maxBytes;
}

} // namespace stowmere::utf8
