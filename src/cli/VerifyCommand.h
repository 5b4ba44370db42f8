// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Verifier.h"
#include "cli/CommandLine.h"
#include "cli/ExitCode.h"

#include <ostream>

namespace stowmere::catalog {
class Catalog;
struct BackupSet;
} // namespace stowmere::catalog

namespace stowmere::cli {

/// stowmere-cli verify: reads every copy of a set's items and compares it with the
/// destination's manifest, listing each problem on standard output as it is found (text
/// or JSON Lines), then the summary; records the verification in the run history and,
/// when copies are damaged or missing, shows a desktop notification.
class VerifyCommand {
public:
    VerifyCommand(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    ExitCode run(catalog::Catalog& data, const catalog::BackupSet& set, const CommandLine& line);

    /// The exit code of a verification: 0 all match, 1 damaged, missing or changed copies
    /// (or a damaged manifest), 2 the destination cannot be read, 3 nothing to check.
    static ExitCode exitCodeOf(const backup::VerifyResult& result, int signal);

private:
    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace stowmere::cli
