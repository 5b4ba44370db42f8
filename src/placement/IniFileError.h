// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace stowmere::placement {

/// Raised when an INI file cannot be written. what() is the user-facing text
/// "Unable to write to <file>"; reason() says why, for logs and tests.
class IniFileError : public std::runtime_error {
public:
    IniFileError(const std::string& fileName, std::string reason)
        : std::runtime_error("Unable to write to " + fileName), m_fileName(fileName),
          m_reason(std::move(reason))
    {
    }

    const std::string& fileName() const { return m_fileName; }
    const std::string& reason() const { return m_reason; }

private:
    std::string m_fileName;
    std::string m_reason;
};

} // namespace stowmere::placement
