// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/VersionStore.h"

#include "backup/BackupEngine.h"
#include "backup/OpenDestination.h"
#include "backup/OwnNames.h"
#include "backup/RunFolderMerge.h"
#include "backup/RunHistory.h"
#include "backup/RunRecord.h"
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

VersionStore::VersionStore(Destination& destination)
    : m_destination(&destination), m_folder(destination.pathOf(BackupEngine::kVersionsFolderName))
{
}

VersionStore::VersionStore(const std::string& destination)
{
    std::error_code error;
    m_owned = openDestination(destination, error);
    m_destination = m_owned.get();
    m_folder = destination + paths::kSeparator + std::string(BackupEngine::kVersionsFolderName);
}

VersionStore::~VersionStore() = default;

FolderHandle VersionStore::openVersions(std::error_code& error) const
{
    if (!m_destination) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
        return nullptr;
    }
    return m_destination->openFolder(m_destination->root(), std::string(BackupEngine::kVersionsFolderName),
                                     error);
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
    std::error_code error;
    const FolderHandle versions = openVersions(error);
    if (!versions)
        return folders;
    for (const DestinationEntry& entry : m_destination->list(versions, error)) {
        if (entry.kind != DestinationKind::Folder)
            continue;
        if (const auto stamp = parseStamp(entry.name))
            folders.push_back({entry.name, paths::join(m_folder, entry.name), stamp->first, stamp->second});
    }
    std::sort(folders.begin(), folders.end(), [](const RunFolder& a, const RunFolder& b) {
        return a.time != b.time ? a.time < b.time : a.suffix < b.suffix;
    });
    return folders;
}

std::vector<bool> VersionStore::keptByRules(const std::vector<std::time_t>& times, const KeepRules& rules,
                                            std::time_t now)
{
    std::vector<bool> kept(times.size(), false);
    const std::size_t count = static_cast<std::size_t>(std::max<std::int32_t>(rules.versions, 0));
    for (std::size_t i = 0; i < times.size(); ++i) {
        const bool tooOld = rules.days > 0 && times[i] < now - static_cast<std::time_t>(rules.days) * kDay;
        kept[i] = times.size() - i <= count && !tooOld;
    }
    // The newest run folder of each of the last periods that have one, in local time.
    const auto periods = [&](std::int32_t wanted, const char* format) {
        std::string last;
        std::int32_t found = 0;
        for (std::size_t i = times.size(); i-- > 0 && found <= wanted;) {
            std::tm parts{};
            ::localtime_r(&times[i], &parts);
            char key[32];
            std::strftime(key, sizeof key, format, &parts);
            if (key == last)
                continue;
            last = key;
            if (++found <= wanted)
                kept[i] = true;
        }
    };
    periods(rules.daily, "%Y-%m-%d");
    periods(rules.weekly, "%G-W%V");
    periods(rules.monthly, "%Y-%m");
    return kept;
}

std::size_t VersionStore::prune(std::int32_t keep, std::int32_t days, std::time_t now, std::string& error,
                                const std::atomic<bool>* cancel) const
{
    KeepRules rules;
    rules.versions = keep;
    rules.days = days;
    return prune(rules, now, error, cancel);
}

std::size_t VersionStore::prune(const KeepRules& rules, std::time_t now, std::string& error,
                                const std::atomic<bool>* cancel) const
{
    const std::vector<RunFolder> folders = runFolders();
    if (folders.empty())
        return 0;
    std::error_code failure;
    const FolderHandle versions = openVersions(failure);
    if (!versions)
        return 0;
    std::vector<std::time_t> times;
    times.reserve(folders.size());
    for (const RunFolder& folder : folders)
        times.push_back(folder.time);
    const std::vector<bool> kept = keptByRules(times, rules, now);
    const RunHistory history(*m_destination);
    const std::vector<RecordedRun> runs = history.runs();
    const auto stampOfFolder = [](const RunFolder& folder) { return std::pair{folder.time, folder.suffix}; };
    std::size_t deleted = 0;
    std::optional<std::size_t> olderKept;
    std::optional<std::pair<std::time_t, unsigned>> newestDeleted;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (kept[i]) {
            olderKept = i;
            continue;
        }
        std::error_code removeError;
        if (olderKept) {
            // A kept moment older than this folder needs what it holds: it goes into the
            // kept folder, unless the kept run (or a run in between that kept nothing)
            // decides there already.
            const RunFolder& into = folders[*olderKept];
            std::vector<std::string> covering;
            for (const RecordedRun& run : runs) {
                const auto stamp = std::pair{run.time, run.suffix};
                if (stamp < stampOfFolder(into) || stamp >= stampOfFolder(folders[i]))
                    continue;
                if (run.kept && stamp != stampOfFolder(into))
                    continue; // folded in already, or about to be
                RunFacts facts = history.facts(run);
                covering.insert(covering.end(), facts.kept.begin(), facts.kept.end());
                covering.insert(covering.end(), facts.added.begin(), facts.added.end());
            }
            std::sort(covering.begin(), covering.end());
            removeError =
                RunFolderMerge(*m_destination, into.name, folders[i].name, std::move(covering)).run(cancel);
        } else {
            removeError = removeTree(*m_destination, versions, folders[i].name, cancel);
            if (!removeError)
                newestDeleted = stampOfFolder(folders[i]);
        }
        if (removeError) {
            if (removeError == std::errc::operation_canceled)
                break;
            if (error.empty())
                error = "Cannot delete the old versions " + folders[i].path + ": " + removeError.message();
            continue;
        }
        ++deleted;
    }
    if (newestDeleted)
        pruneRecords(*newestDeleted);
    // An empty versions folder is no use to anyone.
    if (folders.size() == deleted)
        m_destination->removeEmptyFolder(m_destination->root(),
                                         std::string(BackupEngine::kVersionsFolderName));
    return deleted;
}

void VersionStore::pruneRecords(std::pair<std::time_t, unsigned> through) const
{
    // A moment before a deleted run folder cannot be restored any more: the records of the
    // runs up to it tell nothing a restore can use.
    std::error_code error;
    const FolderHandle records = m_destination->openFolder(kRunRecordsFolderName, error);
    if (!records)
        return;
    std::size_t left = 0;
    for (const DestinationEntry& entry : m_destination->list(records, error)) {
        const auto stamp = parseStamp(entry.name);
        if (entry.kind == DestinationKind::File && stamp && *stamp <= through)
            m_destination->remove(records, entry.name);
        else
            ++left;
    }
    if (left == 0)
        m_destination->removeEmptyFolder(m_destination->root(), std::string(kRunRecordsFolderName));
}

bool VersionStore::Keeper::makeRunFolder(std::error_code& error)
{
    Destination* destination = m_store.m_destination;
    if (!destination) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
        return false;
    }
    bool created = false;
    m_versions = destination->makeFolder(destination->root(), std::string(BackupEngine::kVersionsFolderName),
                                         0777, created, error);
    if (!m_versions)
        return false;
    const std::string stamp = stampOf(m_runStart);
    if (m_record && !m_record->name().empty()) {
        const std::string& name = m_record->name();
        if (FolderHandle run = destination->makeFolder(m_versions, name, 0777, created, error);
            run && created) {
            m_run = std::move(run);
            m_runName = name;
            m_runFolder = paths::join(m_store.m_folder, name);
            return true;
        }
    }
    // Another run that started in the same second has its own folder: the next suffix is ours.
    for (unsigned suffix = 1; suffix < 100000; ++suffix) {
        std::string name = suffix == 1 ? stamp : stamp + "-" + std::to_string(suffix);
        if (destination->status(m_versions, name).kind != DestinationKind::Missing)
            continue;
        FolderHandle run = destination->makeFolder(m_versions, name, 0777, created, error);
        if (run && created) {
            m_run = std::move(run);
            m_runName = name;
            m_runFolder = paths::join(m_store.m_folder, name);
            return true;
        }
        if (error && error != std::errc::file_exists)
            return false;
    }
    error = std::make_error_code(std::errc::file_exists);
    return false;
}

std::optional<VersionPlace> VersionStore::Keeper::placeFor(std::string_view relative, std::error_code& error)
{
    error.clear();
    if (!m_run && !makeRunFolder(error))
        return std::nullopt;
    Destination& destination = *m_store.m_destination;
    const std::size_t slash = relative.rfind(paths::kSeparator);
    const std::string name(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
    if (slash == std::string_view::npos) {
        ++m_placed;
        return VersionPlace{m_run, name};
    }
    const std::string parent(relative.substr(0, slash));
    if (parent != m_lastParent || !m_lastParentFolder) {
        FolderHandle folder = m_run;
        std::size_t from = 0;
        while (from <= parent.size()) {
            std::size_t next = parent.find(paths::kSeparator, from);
            if (next == std::string::npos)
                next = parent.size();
            bool created = false;
            folder = destination.makeFolder(folder, parent.substr(from, next - from), 0777, created, error);
            if (!folder)
                return std::nullopt;
            from = next + 1;
        }
        m_lastParent = parent;
        m_lastParentFolder = std::move(folder);
    }
    ++m_placed;
    return VersionPlace{m_lastParentFolder, name};
}

std::optional<std::string> VersionStore::Keeper::keep(const std::string& target, std::error_code& error)
{
    Destination* destination = m_store.m_destination;
    const std::string prefix = destination ? destination->pathOf(std::string_view()) : std::string();
    const std::string start = prefix == "/" ? prefix : prefix + paths::kSeparator;
    if (!destination || target.compare(0, start.size(), start) != 0) {
        error = std::make_error_code(std::errc::invalid_argument);
        return std::nullopt;
    }
    const std::string relative = target.substr(start.size());
    const std::size_t slash = relative.rfind(paths::kSeparator);
    const FolderHandle folder =
        slash == std::string::npos
            ? destination->root()
            : destination->openFolder(std::string_view(relative).substr(0, slash), error);
    if (!folder)
        return std::nullopt;
    const std::optional<VersionPlace> place = placeFor(relative, error);
    if (!place)
        return std::nullopt;
    const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    if ((error = destination->rename(folder, name, place->folder, place->name)))
        return std::nullopt;
    return destination->pathOf(*place->folder, place->name);
}

void VersionStore::Keeper::finish()
{
    if (m_run && m_placed == 0 && m_versions) {
        m_store.m_destination->remove(m_versions, m_runName);
        m_run.reset();
        m_runFolder.clear();
    }
}

} // namespace stowmere::backup
