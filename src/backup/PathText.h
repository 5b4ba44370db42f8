// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace stowmere::backup {

/// The system's words for an errno value, as the reports of a run give them.
std::string systemText(int error);

} // namespace stowmere::backup
