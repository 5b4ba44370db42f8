// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/GradientColors.h"

namespace stowmere::controls {

/// The colour set of a splitter bar: button face at rest, the hover gradient of the
/// other controls under the pointer.
class SplitterColors : public GradientColors {
public:
    SplitterColors();
};

} // namespace stowmere::controls
