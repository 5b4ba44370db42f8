// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/Entities.h"
#include "cli/CommandLine.h"
#include "cli/ExitCode.h"

#include <istream>
#include <ostream>

namespace stowmere::cli {

/// stowmere-cli trust-host SET: shows the key of the server a set backs up to and, once
/// the user has compared its fingerprint and said yes (or with --yes), adds it to
/// ~/.ssh/known_hosts. A key that differs from the one known is never replaced here.
class TrustHostCommand {
public:
    TrustHostCommand(std::istream& in, std::ostream& out, std::ostream& err)
        : m_in(in), m_out(out), m_err(err)
    {
    }

    ExitCode run(const catalog::BackupSet& set, const CommandLine& line);

private:
    std::istream& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace stowmere::cli
