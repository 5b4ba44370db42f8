// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystemIdentity.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <vector>

namespace stowmere::files {
namespace {

// mountinfo writes space, tab, newline and backslash in paths as three-digit octal escapes.
std::string decodeMountInfoPath(const std::string& field)
{
    std::string decoded;
    decoded.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                decoded += static_cast<char>(std::strtol(digits.c_str(), nullptr, 8));
                i += 3;
                continue;
            }
        }
        decoded += field[i];
    }
    return decoded;
}

bool holds(const std::string& mountPoint, const std::string& path)
{
    if (mountPoint == "/")
        return true;
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The name in a /dev/disk folder (by-uuid, by-label) of the block device with this number;
// udev writes unsafe characters in it as \xNN.
std::string diskName(const char* folder, dev_t device)
{
    DIR* listing = ::opendir(folder);
    if (listing == nullptr)
        return {};
    std::string name;
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat target {};
        const std::string link = std::string(folder) + "/" + entry->d_name;
        if (::stat(link.c_str(), &target) == 0 && S_ISBLK(target.st_mode) && target.st_rdev == device) {
            name = entry->d_name;
            break;
        }
    }
    ::closedir(listing);
    std::string decoded;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name.compare(i, 2, "\\x") == 0 && i + 3 < name.size() &&
            std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            decoded += static_cast<char>(std::strtol(name.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
            continue;
        }
        decoded += name[i];
    }
    return decoded;
}

// The name in /dev/disk/by-uuid of the block device with this number, if udev made one.
std::string uuidOfDevice(dev_t device)
{
    return diskName("/dev/disk/by-uuid", device);
}

std::string fsidText(const struct statfs& info)
{
    int words[2];
    static_assert(sizeof(words) == sizeof(info.f_fsid));
    std::memcpy(words, &info.f_fsid, sizeof(words));
    if (words[0] == 0 && words[1] == 0)
        return {};
    char text[32];
    std::snprintf(text, sizeof(text), "%08x%08x", static_cast<unsigned>(words[0]),
                  static_cast<unsigned>(words[1]));
    return text;
}

} // namespace

std::string mountPointFromMountInfo(const std::string& mountInfo, unsigned major, unsigned minor,
                                    const std::string& canonicalPath)
{
    const std::string device = std::to_string(major) + ":" + std::to_string(minor);
    std::istringstream lines(mountInfo);
    std::string line;
    std::string best;
    while (std::getline(lines, line)) {
        // mount ID, parent ID, major:minor, root, mount point, ...
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint) || numbers != device)
            continue;
        mountPoint = decodeMountInfoPath(mountPoint);
        if (holds(mountPoint, canonicalPath) && mountPoint.size() >= best.size())
            best = mountPoint;
    }
    return best;
}

std::string highestFolderOnSameDevice(const std::string& canonicalPath)
{
    struct stat status {};
    if (canonicalPath.empty() || ::stat(canonicalPath.c_str(), &status) != 0)
        return {};
    std::string highest = canonicalPath;
    while (highest != "/") {
        const std::size_t slash = highest.rfind('/');
        const std::string parent = slash == 0 || slash == std::string::npos ? "/" : highest.substr(0, slash);
        struct stat above {};
        if (::stat(parent.c_str(), &above) != 0 || above.st_dev != status.st_dev)
            break;
        highest = parent;
    }
    return highest;
}

std::vector<std::string> mountPointsBelow(const std::string& mountInfo, const std::string& canonicalPath)
{
    const std::string prefix = canonicalPath == "/" ? canonicalPath : canonicalPath + '/';
    std::vector<std::string> below;
    std::istringstream lines(mountInfo);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint))
            continue;
        mountPoint = decodeMountInfoPath(mountPoint);
        if (mountPoint.size() > prefix.size() && mountPoint.compare(0, prefix.size(), prefix) == 0)
            below.push_back(mountPoint);
    }
    return below;
}

std::optional<FileSystemDescription> describeFileSystem(const std::string& key)
{
    if (key.empty())
        return std::nullopt;
    std::ifstream mountInfo("/proc/self/mountinfo");
    std::optional<FileSystemDescription> found;
    dev_t foundDevice = 0;
    for (std::string line; std::getline(mountInfo, line);) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint))
            continue;
        mountPoint = decodeMountInfoPath(mountPoint);
        if (found && found->mountPoint.size() <= mountPoint.size())
            continue;
        unsigned major = 0;
        unsigned minor = 0;
        if (std::sscanf(numbers.c_str(), "%u:%u", &major, &minor) != 2)
            continue;
        const dev_t device = makedev(major, minor);
        // The cheap tests first: a device number, before a statfs of every mount.
        std::string error;
        if (key.rfind("dev:", 0) == 0) {
            if (key != "dev:" + numbers)
                continue;
        } else if (key.rfind("uuid:", 0) == 0) {
            if (key.substr(5) != uuidOfDevice(device))
                continue;
        } else {
            const std::optional<FileSystemIdentity> identity = identifyFileSystem(mountPoint, error);
            if (!identity || identity->key != key)
                continue;
        }
        found = FileSystemDescription{mountPoint, {}, {}};
        foundDevice = device;
    }
    if (found) {
        found->label = diskName("/dev/disk/by-label", foundDevice);
        found->uuid = uuidOfDevice(foundDevice);
    }
    return found;
}

std::optional<FileSystemIdentity> identifyFileSystem(const std::string& path, std::string& error)
{
    struct stat status {};
    struct statfs info {};
    if (::stat(path.c_str(), &status) != 0 || ::statfs(path.c_str(), &info) != 0) {
        error = "Cannot identify the file system of " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    FileSystemIdentity identity;
    if (const std::string uuid = uuidOfDevice(status.st_dev); !uuid.empty())
        identity.key = "uuid:" + uuid;
    else if (const std::string fsid = fsidText(info); !fsid.empty())
        identity.key = "fsid:" + fsid;
    else
        identity.key =
            "dev:" + std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));

    char* resolved = ::realpath(path.c_str(), nullptr);
    const std::string canonical = resolved != nullptr ? resolved : path;
    std::free(resolved);
    std::ifstream mountInfo("/proc/self/mountinfo");
    std::stringstream text;
    text << mountInfo.rdbuf();
    identity.mountPoint =
        mountPointFromMountInfo(text.str(), major(status.st_dev), minor(status.st_dev), canonical);
    // Inside a chroot, or where the table is missing or hides the mount, the folders
    // themselves still tell where the file system begins.
    if (identity.mountPoint.empty())
        identity.mountPoint = highestFolderOnSameDevice(canonical);
    return identity;
}

} // namespace stowmere::files
