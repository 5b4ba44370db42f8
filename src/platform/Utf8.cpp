// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Utf8.h"

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

} // namespace

bool isValid(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = sequenceLength(lead);
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if (!isContinuation(static_cast<unsigned char>(text[i + k])))
                return false;
        if (length >= 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            if (lead == 0xE0 && second < 0xA0)
                return false; // overlong
            if (lead == 0xED && second > 0x9F)
                return false; // surrogate
            if (lead == 0xF0 && second < 0x90)
                return false; // overlong
            if (lead == 0xF4 && second > 0x8F)
                return false; // past U+10FFFF
        }
        i += length;
    }
    return true;
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
