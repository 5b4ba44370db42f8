// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/OpenDestination.h"

#include "backup/LocalDestination.h"

namespace stowmere::backup {

std::unique_ptr<Destination> openDestination(const std::string& location, std::error_code& error)
{
    return LocalDestination::open(location, error);
}

} // namespace stowmere::backup
