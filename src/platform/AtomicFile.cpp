// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtomicFile.h"

#include "platform/FileQueries.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace stowmere {
namespace {

[[noreturn]] void fail(int error, const std::string& path, const char* step)
{
    throw std::system_error(error, std::generic_category(), "Cannot " + std::string(step) + " " + path);
}

[[noreturn]] void fail(const std::error_code& error, const std::string& path, const char* step)
{
    fail(error.value(), path, step);
}

} // namespace

void writeFileAtomically(const std::string& path, std::span<const std::byte> data)
{
    // Keep the permission bits of the file being replaced; a new file is private to its
    // owner, whatever the umask allows, since every file written here holds the user's own
    // data (the sets and their paths, settings, timers).
    struct stat existing {};
    mode_t mode = kNewFileMode;
    if (::stat(path.c_str(), &existing) == 0)
        mode = existing.st_mode & 07777;

    const std::string folder = paths::parentFolder(path);
    std::error_code error;
    files::TemporaryFile temporary = files::TemporaryFile::create(folder, mode & 0777, error);
    if (error)
        fail(error, path, "create a temporary file to write");
    // The creation mode passed through the umask; the bits of the old file must not.
    ::fchmod(temporary.fd(), mode);

    const auto* bytes = reinterpret_cast<const char*>(data.data());
    std::size_t remaining = data.size();
    while (remaining > 0) {
        const ssize_t written = ::write(temporary.fd(), bytes, remaining);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(errno, path, "write");
        }
        bytes += written;
        remaining -= static_cast<std::size_t>(written);
    }
    if (::fsync(temporary.fd()) != 0)
        fail(errno, path, "flush");
    if (const std::error_code commitError = temporary.commit(path))
        fail(commitError, path, "replace");

    // Make the rename itself durable.
    const files::UniqueFd parent(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent)
        ::fsync(parent.get());
}

} // namespace stowmere
