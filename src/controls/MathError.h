// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>

namespace stowmere::controls {

/// Raised by drawing arithmetic that cannot proceed with the arguments it was given.
class MathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace stowmere::controls
