// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/Entities.h"
#include "cli/CommandLine.h"
#include "cli/ExitCode.h"

#include <ostream>

namespace stowmere::catalog {
class Catalog;
}

namespace stowmere::cli {

/// stowmere-cli options SET: applies the changes the command line asks for to the set's
/// options, saves them, and prints the options as they then are, one "name<TAB>value" line
/// each (one "exclude" line per pattern).
class OptionsCommand {
public:
    explicit OptionsCommand(std::ostream& out) : m_out(out) {}

    ExitCode run(catalog::Catalog& data, const CommandLine& line, const catalog::BackupSet& set);

    /// The options changed as line asks. Throws catalog::RuleRefusal for a --no-exclude
    /// pattern the set does not have.
    static catalog::SetOptions changed(catalog::SetOptions options, const CommandLine& line);
    static void print(std::ostream& out, const catalog::SetOptions& options);

private:
    std::ostream& m_out;
};

} // namespace stowmere::cli
