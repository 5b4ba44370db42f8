// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliApplication.h"
#include "platform/Translation.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    stowmere::translation::setUp();
    const std::vector<std::string> words(argv + 1, argv + argc);
    stowmere::cli::CliApplication application(std::cout, std::cerr);
    const int code = stowmere::cli::toInt(application.run(words));
    std::cout.flush();
    if (!std::cout) {
        // A full disk or closed pipe must not pass for a complete listing.
        std::cerr << stowmere::_("stowmere-cli: cannot write to standard output\n");
        return code == 0 ? stowmere::cli::toInt(stowmere::cli::ExitCode::NotStarted) : code;
    }
    return code;
}
