// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TemporaryFile.h"

#include "platform/OpenFolder.h"
#include "platform/Paths.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace stowmere::files {
namespace {

constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::error_code errnoCode()
{
    return {errno, std::generic_category()};
}

std::string randomSuffix()
{
    // Names only have to differ, not be unpredictable: O_EXCL settles any clash.
    thread_local std::uint64_t state =
        std::random_device{}() | (std::uint64_t{std::random_device{}()} << 32) | 1;
    std::string suffix(TemporaryFile::kSuffixLength, 'x');
    for (char& letter : suffix) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        letter = kLetters[state % (sizeof kLetters - 1)];
    }
    return suffix;
}

// Naming an unnamed file goes through its /proc/self/fd entry, which needs /proc; without
// it only a privileged process could name it (AT_EMPTY_PATH). Without /proc every
// temporary file gets a name from the start, so a finished file can always be named.
bool canNameUnnamedFiles()
{
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

// Gives the unnamed file fd the name name in folderFd. A process that may (root) names it
// through its descriptor alone, which spares the kernel walking a /proc path for each of
// thousands of small copies; anyone else, or after a refusal, goes through /proc.
int linkUnnamed(int fd, int folderFd, const char* name)
{
    static std::atomic<bool> byDescriptor{true};
    if (byDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", folderFd, name, AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM && errno != EINVAL)
            return -1;
        byDescriptor.store(false, std::memory_order_relaxed);
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), folderFd, name, AT_SYMLINK_FOLLOW);
}

bool refusesUnnamed(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

} // namespace

bool TemporaryFile::Support::refusesUnnamed(std::uint64_t device) const
{
    return std::find(m_refusing.begin(), m_refusing.end(), device) != m_refusing.end();
}

void TemporaryFile::Support::noteRefusal(std::uint64_t device)
{
    if (!refusesUnnamed(device))
        m_refusing.push_back(device);
}

TemporaryFile::~TemporaryFile()
{
    discard();
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : m_fd(std::move(other.m_fd)), m_folderFd(other.m_folderFd), m_folder(std::move(other.m_folder)),
      m_name(std::move(other.m_name)), m_done(other.m_done)
{
    other.m_name.clear();
    other.m_done = true;
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept
{
    if (this != &other) {
        discard();
        m_fd = std::move(other.m_fd);
        m_folderFd = other.m_folderFd;
        m_folder = std::move(other.m_folder);
        m_name = std::move(other.m_name);
        m_done = other.m_done;
        other.m_name.clear();
        other.m_done = true;
    }
    return *this;
}

void TemporaryFile::discard() noexcept
{
    m_fd.reset();
    if (!m_done && !m_name.empty())
        ::unlinkat(m_folderFd, m_name.c_str(), 0);
    m_done = true;
}

TemporaryFile TemporaryFile::create(const std::string& folder, mode_t mode, std::error_code& error,
                                    Support* support, std::uint64_t device)
{
    return createAt(AT_FDCWD, folder.empty() ? std::string(".") : folder, mode, error, support, device);
}

TemporaryFile TemporaryFile::createIn(int folderFd, mode_t mode, std::error_code& error, Support* support,
                                      std::uint64_t device)
{
    return createAt(folderFd, ".", mode, error, support, device);
}

TemporaryFile TemporaryFile::createAt(int folderFd, const std::string& where, mode_t mode,
                                      std::error_code& error, Support* support, std::uint64_t device)
{
    error.clear();
    const bool tryUnnamed = canNameUnnamedFiles() && !(support && support->refusesUnnamed(device));
    if (tryUnnamed) {
        UniqueFd fd(::openat(folderFd, where.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (fd)
            return TemporaryFile(std::move(fd), folderFd, where, {});
        if (!refusesUnnamed(errno)) {
            error = errnoCode();
            return {};
        }
        if (support)
            support->noteRefusal(device);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folderFd == AT_FDCWD ? freshName(where) : freshName({});
        if (folderFd != AT_FDCWD)
            name.erase(0, 2); // "./"
        UniqueFd fd(
            ::openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd)
            return TemporaryFile(std::move(fd), folderFd, where, std::move(name));
        if (errno != EEXIST) {
            error = errnoCode();
            return {};
        }
    }
    error = std::make_error_code(std::errc::file_exists);
    return {};
}

std::error_code TemporaryFile::close()
{
    if (m_fd.valid() && m_fd.close() != 0)
        return errnoCode();
    return {};
}

std::error_code TemporaryFile::nameTemporarily()
{
    for (int attempt = 0;; ++attempt) {
        std::string name = freshName(m_folderFd == AT_FDCWD ? m_folder : std::string());
        if (m_folderFd != AT_FDCWD)
            name.erase(0, 2); // "./"
        if (linkUnnamed(m_fd.get(), m_folderFd, name.c_str()) == 0) {
            m_name = std::move(name);
            return {};
        }
        if (errno != EEXIST || attempt == 100)
            return errnoCode();
    }
}

std::error_code TemporaryFile::commit(const std::string& target)
{
    return commitAt(target, {});
}

std::error_code TemporaryFile::commitAt(const std::string& target,
                                        const std::function<std::error_code()>& beforeReplace)
{
    return commitInto(m_folderFd, target, beforeReplace);
}

std::error_code TemporaryFile::commitInto(int targetFolderFd, const std::string& target,
                                          const std::function<std::error_code()>& beforeReplace)
{
    if (m_done)
        return std::make_error_code(std::errc::bad_file_descriptor);
    if (unnamed()) {
        if (!m_fd.valid())
            return std::make_error_code(std::errc::bad_file_descriptor);
        // A new file takes its name in one step; an existing one is replaced through a
        // temporary name, as linkat cannot replace.
        if (linkUnnamed(m_fd.get(), targetFolderFd, target.c_str()) == 0) {
            m_done = true;
            return close();
        }
        if (errno != EEXIST)
            return errnoCode();
        if (const std::error_code error = nameTemporarily())
            return error;
    }
    // Some file systems (network ones) report write errors only when the file is closed;
    // such a file must not replace a good copy.
    if (const std::error_code error = close())
        return error;
    if (beforeReplace) {
        struct stat present {};
        if (::fstatat(targetFolderFd, target.c_str(), &present, AT_SYMLINK_NOFOLLOW) == 0) {
            if (const std::error_code error = beforeReplace())
                return error;
        }
    }
    if (::renameat(m_folderFd, m_name.c_str(), targetFolderFd, target.c_str()) != 0)
        return errnoCode();
    m_done = true;
    return {};
}

bool TemporaryFile::isTemporaryName(std::string_view name)
{
    if (name.size() != kPrefix.size() + kSuffixLength || !name.starts_with(kPrefix))
        return false;
    name.remove_prefix(kPrefix.size());
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

std::string TemporaryFile::freshName(const std::string& folder)
{
    return paths::join(folder.empty() ? std::string_view(".") : std::string_view(folder),
                       std::string(kPrefix) + randomSuffix());
}

std::size_t TemporaryFile::removeLeftovers(const std::string& folder)
{
    const OpenFolder open(folder);
    if (!open.isOpen())
        return 0;
    std::size_t removed = 0;
    try {
        for (const FolderEntry& entry : open.entries()) {
            if (isTemporaryName(entry.name) && ::unlinkat(open.fd(), entry.name.c_str(), 0) == 0)
                ++removed;
        }
    } catch (const std::system_error&) {
        // An unreadable folder is reported by the copy that needs it, not here.
    }
    return removed;
}

} // namespace stowmere::files
