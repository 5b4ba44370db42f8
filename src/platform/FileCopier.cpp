// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileCopier.h"

#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stowmere::files {
namespace {

// Large enough that the read/write fallback costs few system calls, small enough to keep
// the memory of a run flat whatever the file sizes.
constexpr std::size_t kBufferSize = 1024 * 1024;
// copy_file_range moves at most about 2 GiB per call anyway; short counts are allowed.
constexpr std::size_t kRangeChunk = std::size_t{1} << 30;

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// Removes the temporary file unless it was renamed into place.
class TemporaryName {
public:
    explicit TemporaryName(std::string name) : m_name(std::move(name)) {}
    ~TemporaryName()
    {
        if (!m_kept)
            ::unlink(m_name.c_str());
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    const std::string& name() const { return m_name; }
    void keep() { m_kept = true; }

private:
    std::string m_name;
    bool m_kept = false;
};

bool isRefusal(int error)
{
    return error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

} // namespace

FileCopier::FileCopier() = default;
FileCopier::~FileCopier() = default;

std::error_code FileCopier::copy(const std::string& source, const std::string& target)
{
    // O_NONBLOCK: should the path have turned into a FIFO since it was listed, the open
    // must not wait for a writer; the fstat below then rejects it.
    Descriptor input(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (input.get() < 0)
        return lastError();
    struct stat sourceInfo {};
    if (::fstat(input.get(), &sourceInfo) != 0)
        return lastError();
    if (!S_ISREG(sourceInfo.st_mode))
        return std::make_error_code(std::errc::invalid_argument);

    const std::string folder = paths::parentFolder(target);
    std::string pattern = paths::join(folder.empty() ? std::string_view(".") : std::string_view(folder),
                                      std::string(kTemporaryPrefix) + "XXXXXX");
    Descriptor output(::mkostemp(pattern.data(), O_CLOEXEC));
    if (output.get() < 0)
        return lastError();
    TemporaryName temporary(pattern);

    struct stat targetInfo {};
    if (::fstat(output.get(), &targetInfo) != 0)
        return lastError();

    if (!shareBlocks(input.get(), output.get(), static_cast<std::uint64_t>(sourceInfo.st_dev),
                     static_cast<std::uint64_t>(targetInfo.st_dev))) {
        if (const std::error_code error = copyData(input.get(), output.get()))
            return error;
    }

    if (::fchmod(output.get(), sourceInfo.st_mode & 07777) != 0)
        return lastError();
    const timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    if (::futimens(output.get(), times) != 0)
        return lastError();
    // Some file systems report write errors only when the file is closed.
    if (::close(output.release()) != 0)
        return lastError();
    if (::rename(temporary.name().c_str(), target.c_str()) != 0)
        return lastError();
    temporary.keep();
    return {};
}

bool FileCopier::shareBlocks(int sourceFd, int targetFd, std::uint64_t sourceDevice, std::uint64_t targetDevice)
{
    const std::pair devices{sourceDevice, targetDevice};
    if (std::find(m_noSharing.begin(), m_noSharing.end(), devices) != m_noSharing.end())
        return false;
    if (::ioctl(targetFd, FICLONE, sourceFd) == 0)
        return true;
    // A file system that cannot share blocks says so for every file: remember it rather
    // than asking again for each of thousands of small files. Other errors (a full disk)
    // are left to the ordinary copy, which reports them.
    const int error = errno;
    if (error == EOPNOTSUPP || error == ENOTTY || error == EXDEV || error == EINVAL || error == ENOSYS
        || error == EPERM || error == EBADF)
        m_noSharing.push_back(devices);
    return false;
}

std::error_code FileCopier::copyData(int sourceFd, int targetFd)
{
    std::uint64_t copied = 0;
    for (;;) {
        const ssize_t count = ::copy_file_range(sourceFd, nullptr, targetFd, nullptr, kRangeChunk, 0);
        if (count > 0) {
            copied += static_cast<std::uint64_t>(count);
            continue;
        }
        if (count == 0) {
            // Files such as those under /proc report no size, and copy_file_range copies
            // nothing from them; a plain read finds out whether there really is nothing.
            if (copied == 0)
                return readWriteCopy(sourceFd, targetFd);
            return {};
        }
        if (errno == EINTR)
            continue;
        if (isRefusal(errno))
            return readWriteCopy(sourceFd, targetFd); // the file offsets say where to go on
        return lastError();
    }
}

std::error_code FileCopier::readWriteCopy(int sourceFd, int targetFd)
{
    if (!m_buffer)
        m_buffer = std::make_unique<char[]>(kBufferSize);
    for (;;) {
        const ssize_t got = ::read(sourceFd, m_buffer.get(), kBufferSize);
        if (got == 0)
            return {};
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        const char* data = m_buffer.get();
        auto remaining = static_cast<std::size_t>(got);
        while (remaining > 0) {
            const ssize_t written = ::write(targetFd, data, remaining);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return lastError();
            }
            if (written == 0)
                return std::make_error_code(std::errc::no_space_on_device);
            data += written;
            remaining -= static_cast<std::size_t>(written);
        }
    }
}

} // namespace stowmere::files
