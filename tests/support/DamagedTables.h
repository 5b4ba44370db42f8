// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace stowmere::testing {

/// A pair of table files with damage that once lost or mixed up data, and what every front
/// end must do with it. Both the window's and the command line's tests run every case.
struct DamagedTables {
    enum class Expect {
        Refused,    ///< the file is refused: named with the reason, never written, no change allowed
        Reported,   ///< read, with a report shown once; its rows are kept as they are
        Renumbered, ///< read; a new set gets a number no table uses yet
    };

    std::string name;
    std::vector<std::byte> category; ///< Category.cds
    std::vector<std::byte> path;     ///< Path.cds
    Expect expect = Expect::Refused;
    /// Refused: the file named ("Category.cds" or "Path.cds").
    std::string file;
    /// Refused or Reported: a piece of the message that must be shown.
    std::string message;
    /// Reported and Renumbered: the number the next new set must get (it has no paths).
    std::int32_t nextSetNumber = 0;
};

/// Every case: bytes after the last row, numbering that would merge sets, paths of no set
/// and zero bytes inside stored paths.
std::vector<DamagedTables> damagedTableCases();

} // namespace stowmere::testing
