// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ReverseText.h"

#include <vector>

namespace stowmere::backup {
namespace {

// Length of the well-formed UTF-8 character starting at text[at], or 1 for a stray byte.
std::size_t characterLength(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if ((lead & 0xE0) == 0xC0)
        length = 2;
    else if ((lead & 0xF0) == 0xE0)
        length = 3;
    else if ((lead & 0xF8) == 0xF0)
        length = 4;
    if (length == 1 || at + length > text.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

} // namespace

std::string reverseText(std::string_view text)
{
    std::string result(text.size(), '\0');
    std::size_t end = text.size();
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = characterLength(text, at);
        end -= length;
        result.replace(end, length, text.substr(at, length));
        at += length;
    }
    return result;
}

} // namespace stowmere::backup
