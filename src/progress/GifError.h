// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace stowmere::progress {

/// A GIF picture that could not be read. Carries giflib's error code (D_GIF_ERR_*)
/// so callers can tell a truncated file from one that is not a GIF at all.
class GifError : public std::runtime_error {
public:
    GifError(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}

    int code() const { return m_code; }

private:
    int m_code;
};

} // namespace stowmere::progress
