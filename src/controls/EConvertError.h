// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>

/// Raised when one persistent object cannot be assigned to another of an unrelated kind.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
