// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/StoreError.h"

#include <cstdio>

namespace stowmere::store {

StoreError::StoreError(ResultCode code, const std::string& message, std::optional<std::size_t> offset)
    : std::runtime_error(message), m_code(code), m_offset(offset)
{
}

StoreError StoreError::fromCode(ResultCode code, const std::string& context,
                                std::optional<std::size_t> offset)
{
    std::string message = context.empty() ? resultCodeText(code) : context + ": " + resultCodeText(code);
    if (offset)
        message += " at byte " + std::to_string(*offset);
    char hex[16];
    std::snprintf(hex, sizeof hex, " (0x%04X)", code);
    message += hex;
    return StoreError(code, message, offset);
}

std::string quoted(std::string_view name)
{
    return "'" + std::string(name) + "'";
}

} // namespace stowmere::store
