// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/SpaceCheck.h"

#include "platform/FileSystemIdentity.h"
#include "platform/FreeSpace.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace stowmere::backup {
namespace {

std::string canonical(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    std::string result = resolved != nullptr ? resolved : std::string();
    std::free(resolved);
    return result;
}

} // namespace

bool copiesSurelyFit(const std::string& destination, const std::vector<std::string>& items)
{
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream mountInfo;
    mountInfo << file.rdbuf();
    std::vector<dev_t> counted;
    std::uint64_t used = 0;
    // Adds the volume holding path once; false when it cannot be queried.
    const auto add = [&](const std::string& path) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return errno == ENOENT; // a missing item copies nothing
        if (std::find(counted.begin(), counted.end(), info.st_dev) != counted.end())
            return true;
        const auto bytes = files::usedBytes(path);
        if (!bytes)
            return false;
        counted.push_back(info.st_dev);
        used += *bytes;
        return true;
    };
    for (const std::string& item : items) {
        if (!add(item))
            return false;
        const std::string real = canonical(item);
        if (real.empty())
            continue;
        for (const std::string& mountPoint : files::mountPointsBelow(mountInfo.str(), real)) {
            if (!add(mountPoint))
                return false;
        }
    }
    return used < files::freeBytes(destination.empty() ? std::string("/") : destination);
}

bool copiesFitKnownTotal(const std::string& destination, std::uint64_t knownBytes)
{
    constexpr std::uint64_t kSlack = 64ull << 20;
    const std::uint64_t needed = knownBytes + knownBytes / 4 + kSlack;
    return needed < files::freeBytes(destination.empty() ? std::string("/") : destination);
}

} // namespace stowmere::backup
