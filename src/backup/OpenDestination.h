// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"

#include <memory>
#include <string>
#include <system_error>

namespace stowmere::backup {

/// Opens the destination a set names in its "Backup To Folder": the one place that tells
/// which kind of destination a location is. None when it cannot be reached; error says why.
std::unique_ptr<Destination> openDestination(const std::string& location, std::error_code& error);

} // namespace stowmere::backup
