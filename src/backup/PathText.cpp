// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/PathText.h"

#include <system_error>

namespace stowmere::backup {

std::string systemText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

} // namespace stowmere::backup
