// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace stowmere::files {

/// A file the program keeps for itself could not be read. what() names the file and says
/// why: "Cannot read <path>: <reason>".
class ReadError : public std::runtime_error {
public:
    /// error is the system's reason (errno), 0 for a file that is not a regular one.
    ReadError(const std::string& path, int error);

    int error() const { return m_error; }
    /// The reason alone, without the path.
    const std::string& reason() const { return m_reason; }
    /// Nothing is there: for most files the same as an empty one.
    bool missing() const;

private:
    int m_error;
    std::string m_reason;
};

/// Reads the whole of a file the program keeps for itself (tables, options, history, INI,
/// timers). The file is opened without blocking and refused unless it is a regular file,
/// so a FIFO, a device or a folder put in its place never hangs the program. Throws
/// ReadError.
std::string readWholeFile(const std::string& path);

} // namespace stowmere::files
