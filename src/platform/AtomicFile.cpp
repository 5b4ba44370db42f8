// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtomicFile.h"

#include "platform/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace stowmere {
namespace {

[[noreturn]] void fail(int error, const std::string& path, const char* step)
{
    throw std::system_error(error, std::generic_category(), "Cannot " + std::string(step) + " " + path);
}

class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target)
    {
        m_name = paths::join(paths::parentFolder(target), "." + paths::fileNamePart(target) + ".XXXXXX");
        std::vector<char> pattern(m_name.begin(), m_name.end());
        pattern.push_back('\0');
        m_fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (m_fd < 0)
            fail(errno, target, "create a temporary file to write");
        m_name.assign(pattern.data());
    }
    ~TemporaryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_committed)
            ::unlink(m_name.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return m_fd; }
    const std::string& name() const { return m_name; }
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }
    void commit() { m_committed = true; }

private:
    std::string m_name;
    int m_fd = -1;
    bool m_committed = false;
};

} // namespace

void writeFileAtomically(const std::string& path, std::span<const std::byte> data)
{
    TemporaryFile temporary(path);

    // Keep the permission bits of the file being replaced; a new file gets 0644 less umask.
    struct stat existing {};
    mode_t mode = 0666;
    if (::stat(path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
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
    if (temporary.close() != 0)
        fail(errno, path, "write");
    if (::rename(temporary.name().c_str(), path.c_str()) != 0)
        fail(errno, path, "replace");
    temporary.commit();

    // Make the rename itself durable.
    const int folder = ::open(paths::parentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace stowmere
