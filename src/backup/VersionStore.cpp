// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/VersionStore.h"

#include "backup/BackupEngine.h"
#include "platform/OpenFolder.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace stowmere::backup {
namespace {

constexpr std::time_t kDay = std::time_t{24} * 60 * 60;

bool digits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

VersionStore::VersionStore(std::string destination)
    : m_destination(std::move(destination)),
      m_folder(m_destination + paths::kSeparator + std::string(BackupEngine::kVersionsFolderName))
{
}

std::string VersionStore::stampOf(std::time_t time)
{
    std::tm parts{};
    ::gmtime_r(&time, &parts);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d%02d%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::optional<std::pair<std::time_t, unsigned>> VersionStore::parseStamp(std::string_view name)
{
    // YYYY-MM-DDTHHMMSSZ, 18 characters, then an optional -N.
    constexpr std::size_t kLength = 18;
    if (name.size() < kLength || name[4] != '-' || name[7] != '-' || name[10] != 'T' || name[17] != 'Z')
        return std::nullopt;
    const auto number = [&](std::size_t at, std::size_t count) -> int {
        const std::string_view part = name.substr(at, count);
        return digits(part) ? std::stoi(std::string(part)) : -1;
    };
    std::tm parts{};
    parts.tm_year = number(0, 4) - 1900;
    parts.tm_mon = number(5, 2) - 1;
    parts.tm_mday = number(8, 2);
    parts.tm_hour = number(11, 2);
    parts.tm_min = number(13, 2);
    parts.tm_sec = number(15, 2);
    if (parts.tm_year < 0 || parts.tm_mon < 0 || parts.tm_mon > 11 || parts.tm_mday < 1 ||
        parts.tm_mday > 31 || parts.tm_hour < 0 || parts.tm_hour > 23 || parts.tm_min < 0 ||
        parts.tm_min > 59 || parts.tm_sec < 0 || parts.tm_sec > 60)
        return std::nullopt;
    unsigned suffix = 1;
    if (name.size() > kLength) {
        const std::string_view rest = name.substr(kLength);
        if (rest.size() < 2 || rest.size() > 6 || rest[0] != '-' || !digits(rest.substr(1)))
            return std::nullopt;
        suffix = static_cast<unsigned>(std::stoul(std::string(rest.substr(1))));
        if (suffix < 2)
            return std::nullopt;
    }
    return std::pair{::timegm(&parts), suffix};
}

std::vector<VersionStore::RunFolder> VersionStore::runFolders() const
{
    std::vector<RunFolder> folders;
    const files::OpenFolder versions(m_folder);
    if (!versions.isOpen())
        return folders;
    std::vector<files::FolderEntry> entries;
    try {
        entries = versions.entries();
    } catch (const std::system_error&) {
        return folders;
    }
    for (const files::FolderEntry& entry : entries) {
        if (entry.link || entry.kind != files::EntryKind::Folder)
            continue;
        if (const auto stamp = parseStamp(entry.name))
            folders.push_back({entry.name, paths::join(m_folder, entry.name), stamp->first, stamp->second});
    }
    std::sort(folders.begin(), folders.end(), [](const RunFolder& a, const RunFolder& b) {
        return a.time != b.time ? a.time < b.time : a.suffix < b.suffix;
    });
    return folders;
}

std::size_t VersionStore::prune(std::int32_t keep, std::int32_t days, std::time_t now,
                                std::string& error) const
{
    const std::vector<RunFolder> folders = runFolders();
    const std::size_t kept = static_cast<std::size_t>(std::max<std::int32_t>(keep, 0));
    std::size_t deleted = 0;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const bool beyondCount = folders.size() - i > kept;
        const bool tooOld = days > 0 && folders[i].time < now - static_cast<std::time_t>(days) * kDay;
        if (!beyondCount && !tooOld)
            continue;
        std::error_code failure;
        std::filesystem::remove_all(folders[i].path, failure);
        if (failure) {
            if (error.empty())
                error = "Cannot delete the old versions " + folders[i].path + ": " + failure.message();
            continue;
        }
        ++deleted;
    }
    // An empty versions folder is no use to anyone.
    if (folders.size() == deleted)
        ::rmdir(m_folder.c_str());
    return deleted;
}

bool VersionStore::Keeper::makeRunFolder(std::error_code& error)
{
    if (::mkdir(m_store.m_folder.c_str(), 0777) != 0 && errno != EEXIST) {
        error = std::error_code(errno, std::generic_category());
        return false;
    }
    const std::string stamp = stampOf(m_runStart);
    // Another run that started in the same second has its own folder: the next suffix is ours.
    for (unsigned suffix = 1; suffix < 100000; ++suffix) {
        const std::string name = suffix == 1 ? stamp : stamp + "-" + std::to_string(suffix);
        const std::string path = paths::join(m_store.m_folder, name);
        if (::mkdir(path.c_str(), 0777) == 0) {
            m_runFolder = path;
            return true;
        }
        if (errno != EEXIST) {
            error = std::error_code(errno, std::generic_category());
            return false;
        }
    }
    error = std::make_error_code(std::errc::file_exists);
    return false;
}

bool VersionStore::Keeper::makeParents(const std::string& relative, std::error_code& error)
{
    const std::size_t slash = relative.rfind(paths::kSeparator);
    if (slash == std::string::npos)
        return true;
    const std::string parent = relative.substr(0, slash);
    if (parent == m_lastParent)
        return true;
    std::size_t from = 0;
    for (;;) {
        const std::size_t next = parent.find(paths::kSeparator, from);
        const std::string path = m_runFolder + paths::kSeparator + parent.substr(0, next);
        if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
            error = std::error_code(errno, std::generic_category());
            return false;
        }
        if (next == std::string::npos)
            break;
        from = next + 1;
    }
    m_lastParent = parent;
    return true;
}

std::optional<std::string> VersionStore::Keeper::keep(const std::string& target, std::error_code& error)
{
    const std::string prefix = m_store.m_destination + paths::kSeparator;
    if (target.compare(0, prefix.size(), prefix) != 0) {
        error = std::make_error_code(std::errc::invalid_argument);
        return std::nullopt;
    }
    const std::string relative = target.substr(prefix.size());
    if (m_runFolder.empty() && !makeRunFolder(error))
        return std::nullopt;
    if (!makeParents(relative, error))
        return std::nullopt;
    std::string kept = m_runFolder + paths::kSeparator + relative;
    if (::rename(target.c_str(), kept.c_str()) != 0) {
        error = std::error_code(errno, std::generic_category());
        return std::nullopt;
    }
    return kept;
}

void VersionStore::Keeper::putBack(const std::string& kept, const std::string& target)
{
    // The target's name is free again: its replacement never took it.
    ::rename(kept.c_str(), target.c_str());
}

} // namespace stowmere::backup
