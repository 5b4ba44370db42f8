// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/RunHistory.h"
#include "catalog/SetIdentity.h"

#include "platform/FileLock.h"
#include "platform/Locations.h"
#include "platform/Paths.h"
#include "platform/UniqueFd.h"
#include "platform/WholeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace stowmere::catalog {
namespace {

// How long a writer that finds the file full waits for another one that is rotating it.
constexpr std::chrono::milliseconds kRotateLockWait{2000};

std::string systemText(int error)
{
    return std::strerror(error);
}

// The history opened to add a line, or none with the reason in error.
files::UniqueFd openForAppend(const std::string& file, std::string& error)
{
    // O_NONBLOCK: a FIFO in the history's place would hold the open until a reader came.
    // The history names the user's files: it is nobody else's business.
    files::UniqueFd fd(
        ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
    struct stat info {};
    if (!fd) {
        // A FIFO without a reader says ENXIO, which would name no file at all.
        error = errno == ENXIO ? std::string("not a regular file") : systemText(errno);
    } else if (::fstat(fd.get(), &info) != 0) {
        error = systemText(errno);
        fd.reset();
    } else if (!S_ISREG(info.st_mode)) {
        error = "not a regular file";
        fd.reset();
    }
    return fd;
}

} // namespace

RunHistory::RunHistory(std::string file, std::uint64_t rotateSize)
    : m_file(std::move(file)), m_rotateSize(rotateSize)
{
}

std::string RunHistory::defaultFile()
{
    return paths::join(locations::stateFolder(), "history.jsonl");
}

std::string RunHistory::append(const RunRecord& record) const
{
    const std::string failure = "Cannot record the run in " + m_file + ": ";
    try {
        const std::string folder = paths::parentFolder(m_file);
        if (!folder.empty())
            locations::ensureFolder(folder);
    } catch (const std::system_error& error) {
        return failure + error.what();
    }
    const std::string line = record.toJsonLine() + '\n';
    std::string refused;
    files::UniqueFd fd = openForAppend(m_file, refused);
    if (!fd)
        return failure + refused;
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && static_cast<std::uint64_t>(info.st_size) >= m_rotateSize) {
        if (std::string error = rotateIfFull(fd.get()); !error.empty())
            return failure + error;
        fd = openForAppend(m_file, refused);
        if (!fd)
            return failure + refused;
    }
    // One write of the whole line: with O_APPEND the kernel puts it at the end in one
    // piece, so two programs recording at once never interleave their lines.
    const ssize_t written = ::write(fd.get(), line.data(), line.size());
    if (written < 0)
        return failure + systemText(errno);
    if (static_cast<std::size_t>(written) != line.size()) {
        // A short write (a full disk) leaves part of a line; the reader skips it as damaged,
        // and the next record starts on a line of its own, unless even its end cannot be
        // written, which the message then says.
        if (::write(fd.get(), "\n", 1) != 1)
            return failure + systemText(ENOSPC) + "; its last line is left incomplete";
        return failure + systemText(ENOSPC);
    }
    return {};
}

std::string RunHistory::rotateIfFull(int fd) const
{
    std::optional<files::FileLock> lock;
    try {
        lock = files::FileLock::acquire(m_file + ".lock", kRotateLockWait);
    } catch (const std::system_error& error) {
        return error.what();
    }
    if (!lock)
        return "another program holds " + m_file + ".lock";
    // Another writer may have rotated while this one waited: only the file still at the
    // name, and still full, goes.
    struct stat open {};
    struct stat named {};
    if (::fstat(fd, &open) != 0)
        return systemText(errno);
    if (::stat(m_file.c_str(), &named) != 0)
        return errno == ENOENT ? std::string() : systemText(errno);
    if (named.st_dev != open.st_dev || named.st_ino != open.st_ino ||
        static_cast<std::uint64_t>(named.st_size) < m_rotateSize)
        return {};
    if (::rename(m_file.c_str(), oldFile().c_str()) != 0)
        return "cannot rename it to " + oldFile() + ": " + systemText(errno);
    return {};
}

void RunHistory::readFile(const std::string& file, const std::function<void(RunRecord&&)>& visit,
                          std::vector<std::string>& warnings) const
{
    std::string text;
    try {
        text = files::readWholeFile(file);
    } catch (const files::ReadError& error) {
        if (error.error() != ENOENT)
            warnings.push_back("Cannot read the run history " + file + ": " + error.reason());
        return;
    }
    std::istringstream in(std::move(text));
    std::string line;
    std::size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty())
            continue;
        RunRecord record;
        try {
            record = RunRecord::fromJsonLine(line);
        } catch (const std::invalid_argument& error) {
            warnings.push_back(file + ", line " + std::to_string(number) + ": " + error.what() + "; skipped");
            continue;
        }
        visit(std::move(record));
    }
    if (in.bad())
        warnings.push_back("Cannot read the run history " + file + ": " + systemText(errno));
}

void RunHistory::read(const std::function<void(RunRecord&&)>& visit, std::vector<std::string>& warnings) const
{
    readFile(oldFile(), visit, warnings);
    readFile(m_file, visit, warnings);
}

std::vector<RunRecord> RunHistory::runsOf(const std::string& dataFolder, std::int32_t setNumber,
                                          std::vector<std::string>& warnings) const
{
    const std::string key = historyFolderKey(dataFolder);
    std::vector<RunRecord> runs;
    read(
        [&](RunRecord&& record) {
            if (record.setNumber == setNumber && record.dataFolder == key)
                runs.push_back(std::move(record));
        },
        warnings);
    return runs;
}

std::vector<RunRecord> RunHistory::runsOf(const std::string& dataFolder,
                                          std::vector<std::string>& warnings) const
{
    const std::string key = historyFolderKey(dataFolder);
    std::vector<RunRecord> runs;
    read(
        [&](RunRecord&& record) {
            if (record.dataFolder == key)
                runs.push_back(std::move(record));
        },
        warnings);
    return runs;
}

std::vector<RunRecord> RunHistory::runsOf(const std::string& dataFolder, const BackupSet& set,
                                          std::vector<std::string>& warnings) const
{
    const std::string key = historyFolderKey(dataFolder);
    std::vector<RunRecord> runs;
    read(
        [&](RunRecord&& record) {
            if (record.dataFolder == key && isRunOf(record, set))
                runs.push_back(std::move(record));
        },
        warnings);
    return runs;
}

std::optional<RunRecord> RunHistory::lastBackup(const std::string& dataFolder, const BackupSet& set,
                                                std::vector<std::string>& warnings) const
{
    const std::string key = historyFolderKey(dataFolder);
    std::optional<RunRecord> last;
    read(
        [&](RunRecord&& record) {
            if (record.dataFolder == key && record.isBackup() && isRunOf(record, set))
                last = std::move(record);
        },
        warnings);
    return last;
}

namespace {

/// The last record of each set that counts, by set number.
std::map<std::int32_t, RunRecord> lastOfEach(const RunHistory& history, const std::string& dataFolder,
                                             const std::vector<BackupSet>& sets,
                                             const std::function<bool(const RunRecord&)>& counts,
                                             std::vector<std::string>& warnings)
{
    const std::string key = historyFolderKey(dataFolder);
    std::map<std::int32_t, const BackupSet*> byNumber;
    for (const BackupSet& set : sets)
        byNumber.emplace(set.number, &set);
    std::map<std::int32_t, RunRecord> last;
    history.read(
        [&](RunRecord&& record) {
            if (record.dataFolder != key || !counts(record))
                return;
            const auto set = byNumber.find(record.setNumber);
            if (set != byNumber.end() && isRunOf(record, *set->second))
                last[record.setNumber] = std::move(record);
        },
        warnings);
    return last;
}

} // namespace

std::map<std::int32_t, RunRecord> RunHistory::lastRuns(const std::string& dataFolder,
                                                       const std::vector<BackupSet>& sets,
                                                       std::vector<std::string>& warnings) const
{
    return lastOfEach(
        *this, dataFolder, sets, [](const RunRecord& record) { return record.writesCopies(); }, warnings);
}

std::map<std::int32_t, RunRecord> RunHistory::lastBackups(const std::string& dataFolder,
                                                          const std::vector<BackupSet>& sets,
                                                          std::vector<std::string>& warnings) const
{
    return lastOfEach(
        *this, dataFolder, sets, [](const RunRecord& record) { return record.isBackup(); }, warnings);
}

} // namespace stowmere::catalog
