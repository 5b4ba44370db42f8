// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/CommandLine.h"

#include <string>

namespace stowmere::cli {

/// The --help text of the whole tool (Command::None or Command::Help) or of one command.
std::string helpText(Command command);

std::string optionsHelpText();
std::string versionsHelpText();
std::string restoreHelpText();

} // namespace stowmere::cli
