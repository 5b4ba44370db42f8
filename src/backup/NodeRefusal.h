// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace stowmere::backup {

/// Why a special file of the type bits format (a FIFO, socket or device node) cannot be
/// made in destination by this process; none when it can. A socket never can: it lives
/// only while the program that made it listens.
std::optional<std::string> specialRefusal(mode_t format, const Destination& destination);

} // namespace stowmere::backup
