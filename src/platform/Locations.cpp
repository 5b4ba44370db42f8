// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Locations.h"

#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace stowmere::locations {
namespace {

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

// XDG base directories must be absolute; a relative value is ignored as the standard says.
std::string xdgFolder(const char* variable, std::string_view fallbackUnderHome)
{
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return paths::withoutTrailingSeparator(value);
    return paths::join(homeFolder(), fallbackUnderHome);
}

// The executable's folder comes from /proc/self/exe with every link resolved, while the
// configured prefix may run through one (/usr/local pointing at another disk), so the two
// are compared as files, not as text.
bool isSameFolder(const std::string& a, const std::string& b)
{
    if (paths::withoutTrailingSeparator(a) == paths::withoutTrailingSeparator(b))
        return true;
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

} // namespace

std::string executablePath()
{
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        throw std::system_error(error, "Cannot find the running executable");
    return path.string();
}

std::string executableFolder()
{
    return paths::parentFolder(executablePath());
}

std::string executableBaseName()
{
    const std::string name = paths::fileNamePart(executablePath());
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string installedBinFolder()
{
    return STOWMERE_INSTALL_BINDIR;
}

std::string xdgDataFolder()
{
    return paths::join(xdgFolder("XDG_DATA_HOME", ".local/share"), "stowmere");
}

std::string stateFolder()
{
    return paths::join(xdgFolder("XDG_STATE_HOME", ".local/state"), "stowmere");
}

std::string dataFolderFor(std::string_view exeFolder, std::string_view installedBinFolder)
{
    std::string folder(exeFolder);
    if (!installedBinFolder.empty() && isSameFolder(folder, std::string(installedBinFolder)))
        return xdgDataFolder();
    if (access(paths::join(folder, "Category.cds").c_str(), F_OK) == 0 || access(folder.c_str(), W_OK) == 0)
        return folder;
    return xdgDataFolder();
}

std::string dataFolder()
{
    return dataFolderFor(executableFolder(), installedBinFolder());
}

std::string configFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

std::string iniFilePath()
{
    return paths::join(configFolder(), executableBaseName() + ".INI");
}

void ensureFolder(const std::string& folder)
{
    // Each missing folder is made 0700, as the XDG base directories ask: the names of the
    // backed-up paths and the run history are nobody else's business. A folder that is
    // already there keeps the mode its owner gave it.
    for (std::size_t end = folder.find(paths::kSeparator, 1);;
         end = folder.find(paths::kSeparator, end + 1)) {
        const std::string prefix = folder.substr(0, end);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            throw std::system_error(errno, std::generic_category(), "Cannot create folder " + folder);
        if (end == std::string::npos)
            break;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        throw std::system_error(errno, std::generic_category(), "Cannot create folder " + folder);
    if (!S_ISDIR(info.st_mode))
        throw std::system_error(ENOTDIR, std::generic_category(), "Cannot create folder " + folder);
}

} // namespace stowmere::locations
