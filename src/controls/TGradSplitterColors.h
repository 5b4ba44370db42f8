// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/TGradCustomColors.h"

namespace stowmere::controls {

/// The colour set of a splitter bar: button face at rest, the hover gradient of the
/// other controls under the pointer.
class TGradSplitterColors : public TGradCustomColors {
public:
    TGradSplitterColors();
};

} // namespace stowmere::controls
