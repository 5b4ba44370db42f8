// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/PathText.h"

#include "platform/Paths.h"

#include <system_error>

namespace stowmere::backup {

std::string JoinName(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (path.empty() || path.back() != paths::kSeparator)
        path += paths::kSeparator;
    path += name;
    return path;
}

std::string SystemText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

} // namespace stowmere::backup
