// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Version.h"

namespace stowmere {

const char* programVersion()
{
    return STOWMERE_VERSION;
}

} // namespace stowmere
