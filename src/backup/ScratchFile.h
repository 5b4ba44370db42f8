// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/UniqueFd.h"

#include <system_error>

namespace stowmere::backup {

/// A local file for data too large to keep in memory while a run sorts it: in $TMPDIR
/// (else /tmp), without a name (or unlinked at once), so it goes when closed, whatever
/// ends the process. error tells why none could be made.
files::UniqueFd openScratchFile(std::error_code& error);

} // namespace stowmere::backup
