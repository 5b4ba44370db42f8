// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Metadata.h"
#include "platform/LastError.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/xattr.h>
#include <unistd.h>

namespace stowmere::files {
namespace {

constexpr std::string_view kAccessAcl = "system.posix_acl_access";
constexpr std::string_view kDefaultAcl = "system.posix_acl_default";

/// Asked for every entry copied, and never changes while the process runs.
uid_t effectiveUser()
{
    static const uid_t self = ::geteuid();
    return self;
}

bool noAttributes(int error)
{
    // A file system without extended attributes has none to copy.
    return error == ENOTSUP || error == ENOSYS;
}

// Calls list(buffer, size) until the names fit, then get(name, buffer, size) for each name
// kept, in the same way, and stores what it finds.
template <typename List, typename Get> bool readAttributes(List&& list, Get&& get, Metadata& metadata)
{
    std::array<char, 512> small{};
    std::string names;
    ssize_t length = list(small.data(), small.size());
    if (length < 0 && errno == ERANGE) {
        for (;;) {
            length = list(nullptr, 0);
            if (length < 0)
                break;
            names.resize(static_cast<std::size_t>(length) + 1);
            length = list(names.data(), names.size());
            if (length >= 0 || errno != ERANGE)
                break;
        }
    } else if (length > 0) {
        names.assign(small.data(), static_cast<std::size_t>(length));
    }
    if (length < 0)
        return noAttributes(errno);
    names.resize(static_cast<std::size_t>(length));
    const bool privileged = effectiveUser() == 0;
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        std::size_t end = names.find('\0', at);
        if (end == std::string::npos)
            end = names.size();
        std::string name = names.substr(at, end - at);
        at = end + 1;
        if (!keepsAttribute(name, privileged))
            continue;
        value.resize(small.size());
        ssize_t got = get(name.c_str(), value.data(), value.size());
        while (got < 0 && errno == ERANGE) {
            got = get(name.c_str(), nullptr, 0);
            if (got < 0)
                break;
            value.resize(static_cast<std::size_t>(got) + 1);
            got = get(name.c_str(), value.data(), value.size());
        }
        if (got < 0) {
            // Removed since the names were listed: nothing to keep.
            if (errno == ENODATA)
                continue;
            return false;
        }
        metadata.attributes.emplace_back(std::move(name), value.substr(0, static_cast<std::size_t>(got)));
    }
    return true;
}

// Gives the entry its owner and group through chown(owner, group), as far as the process
// may: root gives any, anyone else only a group of their own to a file of their own.
template <typename Chown>
std::error_code keepOwner(Chown&& chown, const Metadata& metadata, const Ownership* current = nullptr)
{
    if (current != nullptr && current->owner == metadata.owner && current->group == metadata.group)
        return {};
    const uid_t self = effectiveUser();
    if (self == 0) {
        if (chown(metadata.owner, metadata.group) == 0)
            return {};
        return lastError();
    }
    std::error_code lost;
    if (metadata.owner != self)
        lost = std::make_error_code(std::errc::operation_not_permitted);
    if (chown(static_cast<uid_t>(-1), metadata.group) != 0 && !lost)
        lost = lastError();
    return lost;
}

template <typename Set> void keepAttributes(Set&& set, const Metadata& metadata, MetadataLoss& loss)
{
    for (const auto& [name, value] : metadata.attributes) {
        if (set(name.c_str(), value.data(), value.size()) == 0)
            continue;
        std::error_code& lost = isAclAttribute(name) ? loss.acls : loss.attributes;
        if (!lost)
            lost = lastError();
    }
}

/// Whether the NUL-separated list of attribute names holds name.
bool hasName(std::string_view list, std::string_view name)
{
    while (!list.empty()) {
        const std::size_t end = std::min(list.find('\0'), list.size());
        if (list.substr(0, end) == name)
            return true;
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return false;
}

std::string procPath(int folderFd, const std::string& name)
{
    std::string path = "/proc/self/fd/" + std::to_string(folderFd);
    if (!name.empty()) {
        path += '/';
        path += name;
    }
    return path;
}

} // namespace

void MetadataLoss::add(const MetadataLoss& other)
{
    if (!owner)
        owner = other.owner;
    if (!attributes)
        attributes = other.attributes;
    if (!acls)
        acls = other.acls;
}

bool keepsAttribute(const std::string& name, bool privileged)
{
    if (name.starts_with("user.") || isAclAttribute(name))
        return true;
    return privileged && (name.starts_with("security.") || name.starts_with("trusted."));
}

bool isAclAttribute(const std::string& name)
{
    return name == kAccessAcl || name == kDefaultAcl;
}

bool readMetadata(int fd, const struct stat& info, Metadata& metadata)
{
    metadata.owner = info.st_uid;
    metadata.group = info.st_gid;
    metadata.attributes.clear();
    return readAttributes([fd](char* buffer, std::size_t size) { return ::flistxattr(fd, buffer, size); },
                          [fd](const char* name, void* buffer, std::size_t size) {
                              return ::fgetxattr(fd, name, buffer, size);
                          },
                          metadata);
}

bool readMetadata(const std::string& path, Metadata& metadata, struct stat& info)
{
    metadata.attributes.clear();
    if (::lstat(path.c_str(), &info) != 0)
        return false;
    metadata.owner = info.st_uid;
    metadata.group = info.st_gid;
    const char* at = path.c_str();
    return readAttributes([at](char* buffer, std::size_t size) { return ::llistxattr(at, buffer, size); },
                          [at](const char* name, void* buffer, std::size_t size) {
                              return ::lgetxattr(at, name, buffer, size);
                          },
                          metadata);
}

MetadataLoss applyMetadata(int fd, const Metadata& metadata, const Ownership* current)
{
    MetadataLoss loss;
    loss.owner =
        keepOwner([fd](uid_t owner, gid_t group) { return ::fchown(fd, owner, group); }, metadata, current);
    keepAttributes([fd](const char* name, const void* value,
                        std::size_t size) { return ::fsetxattr(fd, name, value, size, 0); },
                   metadata, loss);
    return loss;
}

bool dropInheritedAcl(int fd, const Metadata& metadata)
{
    for (const auto& attribute : metadata.attributes)
        if (attribute.first == kAccessAcl)
            return false;
    return ::fremovexattr(fd, kAccessAcl.data()) == 0;
}

MetadataLoss applyMetadataAt(int folderFd, const std::string& name, const Metadata& metadata)
{
    MetadataLoss loss;
    const int flags = name.empty() ? AT_EMPTY_PATH : AT_SYMLINK_NOFOLLOW;
    loss.owner = keepOwner(
        [&](uid_t owner, gid_t group) { return ::fchownat(folderFd, name.c_str(), owner, group, flags); },
        metadata);
    // The attribute calls take a path; the folder's descriptor gives one that no link or
    // rename on the way can divert, and the entry itself is never followed.
    const std::string path = procPath(folderFd, name);
    // A folder made in a folder with a default ACL inherits it, as its access ACL and as a
    // default of its own: a copy of a source without them must lose both, as with cp -a.
    // One look at the entry's attribute names spares two removals on nearly every entry,
    // which has neither.
    std::array<char, 512> names{};
    const ssize_t listed = name.empty() ? ::listxattr(path.c_str(), names.data(), names.size())
                                        : ::llistxattr(path.c_str(), names.data(), names.size());
    // A list too long for the buffer may hold them: they are removed unseen.
    const bool unseen = listed < 0 && errno == ERANGE;
    const std::string_view present =
        listed > 0 ? std::string_view(names.data(), static_cast<std::size_t>(listed)) : std::string_view();
    for (const std::string_view acl : {kAccessAcl, kDefaultAcl}) {
        const bool mayHave = unseen || hasName(present, acl);
        const bool kept = std::any_of(metadata.attributes.begin(), metadata.attributes.end(),
                                      [acl](const auto& attribute) { return attribute.first == acl; });
        if (kept || !mayHave)
            continue;
        if (name.empty())
            ::removexattr(path.c_str(), acl.data());
        else
            ::lremovexattr(path.c_str(), acl.data());
    }
    if (metadata.attributes.empty())
        return loss;
    keepAttributes(
        [&](const char* attribute, const void* value, std::size_t size) {
            return name.empty() ? ::setxattr(path.c_str(), attribute, value, size, 0)
                                : ::lsetxattr(path.c_str(), attribute, value, size, 0);
        },
        metadata, loss);
    return loss;
}

} // namespace stowmere::files
