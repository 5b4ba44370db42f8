// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/PacketFormat.h"

#include <array>
#include <utility>

namespace stowmere::store::packet {
namespace {

constexpr std::array<std::pair<std::string_view, std::uint8_t>, 18> kSubtypes{{
    {"Money", 21},
    {"Text", 22},
    {"Binary", 23},
    {"Formatted", 24},
    {"Ole", 25},
    {"Graphics", 26},
    {"dBASEOle", 27},
    {"TypedBinary", 28},
    {"Autoinc", 29},
    {"AccessOle", 30},
    {"FixedChar", 31},
    {"HMemo", 33},
    {"HBinary", 34},
    {"ADTNestedTable", 35},
    {"BFile", 36},
    {"ADTDate", 37},
    {"Guid", 38},
    {"Reference", 70},
}};

} // namespace

std::uint8_t subtypeFromName(std::string_view name)
{
    for (const auto& [text, code] : kSubtypes)
        if (text == name)
            return code;
    return kSubtypeUnknown;
}

std::string_view subtypeName(std::uint8_t code)
{
    for (const auto& [text, value] : kSubtypes)
        if (value == code)
            return text;
    return {};
}

} // namespace stowmere::store::packet
