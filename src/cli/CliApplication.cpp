// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliApplication.h"

#include "cli/HelpText.h"

#include <exception>

namespace stowmere::cli {

ExitCode CliApplication::run(const std::vector<std::string>& words)
{
    CommandLine line;
    try {
        line = CommandLine::parse(words);
    } catch (const UsageError& error) {
        m_err << "stowmere-cli: " << error.what() << '\n';
        return ExitCode::NotStarted;
    }
    if (line.help || line.command == Command::Help) {
        m_out << helpText(line.command == Command::Help ? line.helpTopic : line.command);
        return ExitCode::Success;
    }
    try {
        return dispatch(line);
    } catch (const std::exception& error) {
        m_err << "stowmere-cli: " << error.what() << '\n';
        return ExitCode::NotStarted;
    }
}

ExitCode CliApplication::dispatch(const CommandLine& line)
{
    m_err << "stowmere-cli: " << commandName(line.command) << ": not available in this build\n";
    return ExitCode::NotStarted;
}

} // namespace stowmere::cli
