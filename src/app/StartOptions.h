// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace stowmere::app {

/// What the window's command line asks for. Help and version are answered before the
/// window's application object exists, so they work without a display (help in the user's
/// language, through a core application's translators); every other argument is
/// looked at only after Qt has taken its own (-platform, -style, -display and the like).
class StartOptions {
public:
    enum class Action {
        OpenWindow, ///< no argument of ours: open the main window
        ShowHelp,   ///< -h, --help: print helpText() and exit 0
        ShowVersion ///< -v, --version: print versionText() and exit 0
    };

    /// The action for the program's arguments (without the program name), before Qt has
    /// seen them. The first of help and version wins; "--" ends the options.
    static Action beforeQt(const std::vector<std::string>& arguments);

    /// An error text for the arguments Qt left over (without the program name), or empty
    /// when there are none: the window takes no option or argument of its own.
    static std::string leftOverError(const std::vector<std::string>& arguments);

    static std::string helpText();
    static std::string versionText();
    /// The one-line usage that follows an error.
    static std::string usageLine();

    /// The exit code for a command line that is not understood.
    static constexpr int kUsageExitCode = 2;
};

} // namespace stowmere::app
