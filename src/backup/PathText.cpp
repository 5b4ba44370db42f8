// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/PathText.h"

#include "platform/Paths.h"

#include <system_error>

namespace stowmere::backup {

std::string JoinName(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == paths::kSeparator ? folder + name
                                                                 : folder + paths::kSeparator + name;
}

std::string SystemText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

} // namespace stowmere::backup
