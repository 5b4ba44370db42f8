// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StartOptions.h"

#include "platform/Version.h"

namespace stowmere::app {

StartOptions::Action StartOptions::beforeQt(const std::vector<std::string>& arguments)
{
    for (const std::string& word : arguments) {
        if (word == "--")
            break;
        if (word == "-h" || word == "--help" || word == "-help")
            return Action::ShowHelp;
        if (word == "-v" || word == "--version")
            return Action::ShowVersion;
    }
    return Action::OpenWindow;
}

std::string StartOptions::leftOverError(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return {};
    // After "--" every word is an argument, however it looks.
    if (arguments.front() == "--")
        return arguments.size() > 1 ? "stowmere: unexpected argument '" + arguments[1] + "'" : std::string();
    const std::string& first = arguments.front();
    if (first.size() > 1 && first.front() == '-')
        return "stowmere: unknown option '" + first + "'";
    return "stowmere: unexpected argument '" + first + "'";
}

std::string StartOptions::usageLine()
{
    return "Usage: stowmere [-h|--help] [-v|--version] [Qt options]";
}

std::string StartOptions::helpText()
{
    return usageLine() + "\n"
                         "\n"
                         "Opens the Stowmere window: backup sets, each with a description, a Backup To\n"
                         "Folder and a list of files and folders to back up.\n"
                         "\n"
                         "Options:\n"
                         "  -h, --help     show this help and exit\n"
                         "  -v, --version  show the version and exit\n"
                         "\n"
                         "Qt's own options, such as -platform NAME or -style NAME, are accepted as well.\n"
                         "The command line has its own program: 'stowmere-cli --help'.\n";
}

std::string StartOptions::versionText()
{
    return std::string("stowmere ") + programVersion();
}

} // namespace stowmere::app
