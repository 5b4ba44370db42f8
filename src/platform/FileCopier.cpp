// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileCopier.h"

#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <random>
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

// The process's umask, read without changing it (umask() would, for a moment, for every
// thread). When it cannot be read, every bit counts as masked so that chmod always runs.
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:")) {
            try {
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
            } catch (const std::exception&) {
                break;
            }
        }
    }
    return 07777;
}

bool isRefusal(int error)
{
    return error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

} // namespace

FileCopier::FileCopier()
    : m_random(std::random_device{}() | (std::uint64_t{std::random_device{}()} << 32) | 1)
    , m_umask(currentUmask())
{
}
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

    const std::string parent = paths::parentFolder(target);
    const std::string folder = parent.empty() ? std::string(".") : parent;

    // The file is created with its final permission bits where the umask lets them
    // through, which spares a chmod for nearly every file.
    const mode_t wanted = sourceInfo.st_mode & 07777;
    std::string name;
    Descriptor output(createTemporary(folder, wanted & 0777, name));
    if (output.get() < 0)
        return lastError();
    TemporaryName temporary(name);

    if (!shareBlocks(input.get(), output.get(), static_cast<std::uint64_t>(sourceInfo.st_dev), deviceOf(folder, output.get()))) {
        if (const std::error_code error = copyData(input.get(), output.get(), static_cast<std::uint64_t>(sourceInfo.st_size)))
            return error;
    }
    if ((wanted & ~0777) != 0 || (wanted & m_umask) != 0) {
        if (::fchmod(output.get(), wanted) != 0)
            return lastError();
    }
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

int FileCopier::createTemporary(const std::string& folder, mode_t mode, std::string& name)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(8, 'x');
        for (char& letter : suffix) {
            m_random ^= m_random << 13;
            m_random ^= m_random >> 7;
            m_random ^= m_random << 17;
            letter = kLetters[m_random % (sizeof kLetters - 1)];
        }
        name = paths::join(folder, kTemporaryPrefix + suffix);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

std::uint64_t FileCopier::deviceOf(const std::string& folder, int fd)
{
    // Most copies go to the folder of the one before, whose device is known by then.
    if (folder != m_lastFolder) {
        struct stat info {};
        if (::fstat(fd, &info) != 0)
            return 0;
        m_lastFolder = folder;
        m_lastFolderDevice = static_cast<std::uint64_t>(info.st_dev);
    }
    return m_lastFolderDevice;
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

std::error_code FileCopier::copyData(int sourceFd, int targetFd, std::uint64_t size)
{
    // Files such as those under /proc report no size, and copy_file_range copies nothing
    // from them; a plain read finds out whether there really is nothing.
    if (size == 0)
        return readWriteCopy(sourceFd, targetFd);
    // The copy stops at the size the file had when it was opened: one call fewer for each
    // of many small files, and a file that keeps growing cannot keep the copy going.
    std::uint64_t copied = 0;
    while (copied < size) {
        const std::uint64_t chunk = std::min<std::uint64_t>(size - copied, kRangeChunk);
        const ssize_t count = ::copy_file_range(sourceFd, nullptr, targetFd, nullptr, chunk, 0);
        if (count > 0) {
            copied += static_cast<std::uint64_t>(count);
            continue;
        }
        if (count == 0)
            return {}; // the file shrank meanwhile
        if (errno == EINTR)
            continue;
        if (isRefusal(errno))
            return readWriteCopy(sourceFd, targetFd); // the file offsets say where to go on
        return lastError();
    }
    return {};
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
