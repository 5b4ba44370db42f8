// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace stowmere::locations {

/// Full path of the running executable, read from /proc/self/exe.
std::string executablePath();

/// The folder of the running executable, without a trailing separator.
std::string executableFolder();

/// The executable's file name without its extension ("stowmere-cli" -> "stowmere-cli").
std::string executableBaseName();

/// The bin folder of the prefix this build was configured to install into ("/usr/bin" for
/// the Debian package).
std::string installedBinFolder();

/// $XDG_DATA_HOME/stowmere (default ~/.local/share/stowmere).
std::string xdgDataFolder();

/// $XDG_STATE_HOME/stowmere (default ~/.local/state/stowmere): what the program keeps about
/// its own runs, such as the run history. Not created here.
std::string stateFolder();

/// Where Category.cds and Path.cds live for an executable in exeFolder.
///
/// An installed program (exeFolder is installedBinFolder) always uses xdgDataFolder(): root
/// could write into /usr/bin, and a shared program folder must never hold one user's sets.
/// A program run from anywhere else, such as its build folder, uses exeFolder when
/// Category.cds is already there or the folder is writable, otherwise xdgDataFolder().
/// The XDG folder is not created here; call ensureFolder before writing into it.
std::string dataFolderFor(std::string_view exeFolder, std::string_view installedBinFolder = {});

/// dataFolderFor(executableFolder(), installedBinFolder()).
std::string dataFolder();

/// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute.
std::string configFolder();

/// configFolder() + "/" + executableBaseName() + ".INI".
std::string iniFilePath();

/// Creates the folder and any missing parents. Throws std::system_error naming the folder.
void ensureFolder(const std::string& folder);

} // namespace stowmere::locations
