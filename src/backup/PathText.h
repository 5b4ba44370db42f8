// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace stowmere::backup {

/// The path of name in folder: one separator between them, none added when folder already
/// ends with one (the root).
std::string JoinName(const std::string& folder, std::string_view name);

/// The system's words for an errno value, as the reports of a run give them.
std::string SystemText(int error);

} // namespace stowmere::backup
