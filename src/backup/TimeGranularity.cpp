// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/TimeGranularity.h"

#include "backup/Destination.h"
#include "platform/TemporaryFile.h"
#include "platform/UniqueFd.h"

#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <system_error>
#include <utility>

namespace stowmere::backup {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

std::int64_t floorDivide(std::int64_t value, std::int64_t step)
{
    const std::int64_t quotient = value / step;
    return (value % step != 0 && value < 0) ? quotient - 1 : quotient;
}

// A time cut down to the granularity, as a pair that compares in time order.
std::pair<std::int64_t, std::int64_t> truncated(const timespec& time, std::int64_t granularity)
{
    if (granularity >= kSecond)
        return {floorDivide(time.tv_sec, granularity / kSecond), 0};
    return {time.tv_sec, time.tv_nsec - time.tv_nsec % granularity};
}

} // namespace

bool isUpToDate(const files::FileStatus& target, const files::FileStatus& source, std::int64_t granularity)
{
    if (target.kind != files::EntryKind::File || source.kind != files::EntryKind::File)
        return false;
    if (target.size != source.size)
        return false;
    return truncated(source.modified, granularity) <= truncated(target.modified, granularity);
}

bool sameTime(const timespec& a, const timespec& b, std::int64_t granularity)
{
    return truncated(a, granularity) == truncated(b, granularity);
}

std::int64_t probeTimeGranularity(int folderFd)
{
    std::error_code error;
    files::TemporaryFile probe = files::TemporaryFile::createIn(folderFd, 0600, error);
    if (error)
        return 1;
    // An odd second with every nanosecond digit set: whatever a file system drops of it
    // shows how fine its times are.
    constexpr timespec kWritten{1'000'000'001, 999'999'999};
    const timespec times[2] = {kWritten, kWritten};
    struct stat info {};
    if (::futimens(probe.fd(), times) != 0 || ::fstat(probe.fd(), &info) != 0)
        return 1;
    const std::int64_t written = kWritten.tv_sec * kSecond + kWritten.tv_nsec;
    const std::int64_t read = static_cast<std::int64_t>(info.st_mtim.tv_sec) * kSecond + info.st_mtim.tv_nsec;
    const std::int64_t lost = written > read ? written - read : read - written;
    constexpr std::array<std::int64_t, 11> kSteps = {
        1, 10, 100, 1'000, 10'000, 100'000, 1'000'000, 10'000'000, 100'000'000, kSecond, 2 * kSecond};
    for (const std::int64_t step : kSteps) {
        if (lost < step)
            return step;
    }
    return 2 * kSecond;
}

std::int64_t probeTimeGranularity(const std::string& folder)
{
    const files::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd ? probeTimeGranularity(fd.get()) : 1;
}

std::int64_t guessTimeGranularity(int folderFd)
{
    constexpr long kFat = 0x4d44;
    constexpr long kExFat = 0x2011BAB0;
    struct statfs info {};
    if (::fstatfs(folderFd, &info) != 0)
        return 1;
    if (static_cast<long>(info.f_type) == kFat)
        return 2 * kSecond;
    if (static_cast<long>(info.f_type) == kExFat)
        return 10'000'000;
    return 1;
}

std::int64_t guessTimeGranularity(const std::string& folder)
{
    const files::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd ? guessTimeGranularity(fd.get()) : 1;
}

std::int64_t TimeGranularity::get()
{
    if (!m_value)
        m_value = m_destination.timeGranularity(m_mayWrite);
    return *m_value;
}

} // namespace stowmere::backup
