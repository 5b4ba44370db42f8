// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/ProgressResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initProgressQrc()
{
    Q_INIT_RESOURCE(progress);
}

namespace stowmere::progress::resources {

void init()
{
    static const bool done = [] {
        initProgressQrc();
        return true;
    }();
    (void)done;
}

} // namespace stowmere::progress::resources
