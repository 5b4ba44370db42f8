// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Translation.h"

/// Lines that the help of several commands shares.
namespace stowmere::cli::help {

inline constexpr const char* kDataOption =
    N_("  --data DIR     use Category.cds and Path.cds in DIR instead of the files\n"
       "                 of the Stowmere window\n");

inline constexpr const char* kSetWord =
    N_("SET is a backup set's description or its number as 'stowmere-cli list' shows it.\n");

} // namespace stowmere::cli::help
