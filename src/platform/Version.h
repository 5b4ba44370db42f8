// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stowmere {

/// The version of this build ("0.1.0"), as the project's build files give it.
const char* programVersion();

} // namespace stowmere
