// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ScratchFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace stowmere::backup {

files::UniqueFd openScratchFile(std::error_code& error)
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    files::UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd)
        return fd;
    // A file system without unnamed files: a fresh name, removed at once.
    std::string pattern = folder + "/stowmere-scratch-XXXXXX";
    fd.reset(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd) {
        error = {errno, std::system_category()};
        return fd;
    }
    ::unlink(pattern.c_str());
    return fd;
}

} // namespace stowmere::backup
