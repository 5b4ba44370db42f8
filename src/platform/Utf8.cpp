// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Utf8.h"

#include <cstdio>

namespace stowmere::utf8 {
namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the sequence a lead byte starts, 0 for a byte that cannot lead.
std::size_t sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Length of the well-formed character at offset i, 0 when none starts there.
std::size_t characterAt(std::string_view text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = sequenceLength(lead);
    if (length == 0 || i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if (!isContinuation(static_cast<unsigned char>(text[i + k])))
            return 0;
    if (length >= 3) {
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (lead == 0xE0 && second < 0xA0)
            return 0; // overlong
        if (lead == 0xED && second > 0x9F)
            return 0; // surrogate
        if (lead == 0xF0 && second < 0x90)
            return 0; // overlong
        if (lead == 0xF4 && second > 0x8F)
            return 0; // past U+10FFFF
    }
    return length;
}

} // namespace

bool isValid(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = characterAt(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string withByteEscapes(std::string_view text)
{
    if (isValid(text))
        return std::string(text);
    std::string result;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = characterAt(text, i);
        if (length == 0 || text[i] == '\\') {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(text[i]));
            result += escape;
            length = 1;
        } else {
            result.append(text.substr(i, length));
        }
        i += length;
    }
    return result;
}

std::string_view prefixWithin(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes to the lead byte of the character that is cut.
    while (end > 0 && isContinuation(static_cast<unsigned char>(text[end])))
        --end;
    return text.substr(0, end);
}

} // namespace stowmere::utf8
