// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/RunRecord.h"

#include "backup/OpenDestination.h"

#include "platform/FileSystemIdentity.h"
#include "platform/Utf8.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace stowmere::catalog {
namespace {

using nlohmann::json;

constexpr std::array<std::pair<RunOutcome, const char*>, 5> kOutcomes{{
    {RunOutcome::Ok, "ok"},
    {RunOutcome::Warnings, "warnings"},
    {RunOutcome::Failed, "failed"},
    {RunOutcome::Cancelled, "cancelled"},
    {RunOutcome::Refused, "refused"},
}};

constexpr std::array<std::pair<RunMode, const char*>, 4> kModes{{
    {RunMode::Full, "full"},
    {RunMode::Incremental, "incremental"},
    {RunMode::DryRun, "dry run"},
    {RunMode::Verify, "verify"},
}};

/// The names of a verification's counts in a history line, with where each is kept.
constexpr std::array<std::pair<const char*, std::uint64_t backup::VerifyCounts::*>, 7> kVerifyCounts{{
    {"matched", &backup::VerifyCounts::matched},
    {"damaged", &backup::VerifyCounts::damaged},
    {"missing", &backup::VerifyCounts::missing},
    {"changed_outside", &backup::VerifyCounts::changedOutside},
    {"unrecorded", &backup::VerifyCounts::unrecorded},
    {"differs_from_source", &backup::VerifyCounts::differsFromSource},
    {"unreadable", &backup::VerifyCounts::unreadable},
}};

// Names that are not UTF-8 keep their bytes as escapes: JSON holds only Unicode text.
std::string text(const std::string& value)
{
    return utf8::withByteEscapes(value);
}

RunMode modeOf(const backup::BackupSettings& settings)
{
    if (settings.dryRun)
        return RunMode::DryRun;
    return settings.incremental ? RunMode::Incremental : RunMode::Full;
}

} // namespace

std::string historyFolderKey(const std::string& folder)
{
    std::error_code error;
    std::filesystem::path path =
        std::filesystem::weakly_canonical(std::filesystem::absolute(folder, error), error);
    if (error)
        path = std::filesystem::absolute(folder, error).lexically_normal();
    std::string result = path.string();
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

namespace {

RunRecord baseRecord(const std::string& dataFolder, const BackupSet& set,
                     const backup::BackupSettings& settings, RunRecord::Clock::time_point start,
                     const std::string& program)
{
    RunRecord record;
    record.dataFolder = historyFolderKey(dataFolder);
    record.setNumber = set.number;
    record.setIdentity = set.identity;
    record.description = set.description;
    record.destination = settings.destination.empty() ? set.destination : settings.destination;
    record.start = start;
    record.end = RunRecord::Clock::now();
    record.mode = modeOf(settings);
    record.program = program;
    std::string error;
    if (backup::isRemoteLocation(record.destination)) {
        // Its URL says where it is; reaching the server again only to record it would
        // repeat a refusal's question.
    } else if (const auto identity = files::identifyFileSystem(record.destination, error)) {
        record.fileSystem = identity->key;
        record.mountPoint = identity->mountPoint;
    }
    return record;
}

template <typename T> T required(const json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end())
        throw std::invalid_argument(std::string("no \"") + key + "\"");
    try {
        return it->get<T>();
    } catch (const json::exception&) {
        throw std::invalid_argument(std::string("\"") + key + "\" has the wrong type");
    }
}

template <typename T> T optional(const json& object, const char* key, T fallback)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return fallback;
    try {
        return it->get<T>();
    } catch (const json::exception&) {
        throw std::invalid_argument(std::string("\"") + key + "\" has the wrong type");
    }
}

RunRecord::Clock::time_point requiredTime(const json& object, const char* key)
{
    const auto time = parseIsoTime(required<std::string>(object, key));
    if (!time)
        throw std::invalid_argument(std::string("\"") + key + "\" is not a UTC time");
    return *time;
}

} // namespace

const char* outcomeName(RunOutcome outcome)
{
    for (const auto& [value, name] : kOutcomes)
        if (value == outcome)
            return name;
    return "";
}

std::optional<RunOutcome> outcomeFromName(const std::string& name)
{
    for (const auto& [value, text] : kOutcomes)
        if (name == text)
            return value;
    return std::nullopt;
}

const char* modeName(RunMode mode)
{
    for (const auto& [value, name] : kModes)
        if (value == mode)
            return name;
    return "";
}

std::optional<RunMode> modeFromName(const std::string& name)
{
    for (const auto& [value, text] : kModes)
        if (name == text)
            return value;
    return std::nullopt;
}

std::string isoTime(RunRecord::Clock::time_point time)
{
    const std::time_t seconds = RunRecord::Clock::to_time_t(time);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buffer;
}

std::string lastBackupText(const RunRecord& record)
{
    const std::time_t seconds = RunRecord::Clock::to_time_t(record.start);
    std::tm parts{};
    ::localtime_r(&seconds, &parts);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &parts);
    return std::string("Last backup: ") + date + ", " + std::to_string(record.files) +
           (record.files == 1 ? " file, " : " files, ") + outcomeName(record.outcome);
}

std::optional<RunRecord::Clock::time_point> parseIsoTime(const std::string& value)
{
    std::tm parts{};
    int consumed = 0;
    if (std::sscanf(value.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &consumed) != 6 ||
        static_cast<std::size_t>(consumed) != value.size())
        return std::nullopt;
    if (parts.tm_mon < 1 || parts.tm_mon > 12 || parts.tm_mday < 1 || parts.tm_mday > 31 ||
        parts.tm_hour > 23 || parts.tm_min > 59 || parts.tm_sec > 60)
        return std::nullopt;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return RunRecord::Clock::from_time_t(::timegm(&parts));
}

std::string RunRecord::toJsonLine() const
{
    // Keys in the order written, so that a line reads as a sentence.
    nlohmann::ordered_json object;
    object["data_folder"] = text(dataFolder);
    object["set"] = setNumber;
    if (!setIdentity.empty())
        object["set_id"] = text(setIdentity);
    object["description"] = text(description);
    object["destination"] = text(destination);
    object["start"] = isoTime(start);
    object["end"] = isoTime(end);
    object["mode"] = modeName(mode);
    object["outcome"] = outcomeName(outcome);
    object["files"] = files;
    object["bytes"] = bytes;
    if (healed > 0)
        object["healed"] = healed;
    if (removed > 0)
        object["removed"] = removed;
    if (sourceBytes > 0)
        object["source_bytes"] = sourceBytes;
    if (verify) {
        nlohmann::ordered_json counts;
        for (const auto& [name, member] : kVerifyCounts)
            counts[name] = (*verify).*member;
        object["verify"] = std::move(counts);
    }
    nlohmann::ordered_json missing = nlohmann::ordered_json::array();
    for (const std::string& item : missingItems)
        missing.push_back(text(item));
    object["not_found"] = std::move(missing);
    if (!notes.empty()) {
        nlohmann::ordered_json told = nlohmann::ordered_json::array();
        for (const std::string& note : notes)
            told.push_back(text(note));
        object["notes"] = std::move(told);
    }
    nlohmann::ordered_json failed = nlohmann::ordered_json::array();
    for (const backup::NotBackedUp& failure : failures)
        failed.push_back({{"path", text(failure.path)}, {"reason", text(failure.reason)}});
    object["failed"] = std::move(failed);
    object["failed_count"] = failureCount;
    if (!reason.empty())
        object["reason"] = text(reason);
    if (!fileSystem.empty())
        object["file_system"] = {{"id", text(fileSystem)}, {"mount_point", text(mountPoint)}};
    if (!program.empty())
        object["program"] = text(program);
    return object.dump();
}

RunRecord RunRecord::fromJsonLine(const std::string& line)
{
    json object;
    try {
        object = json::parse(line);
    } catch (const json::parse_error& error) {
        throw std::invalid_argument(std::string("not JSON (") + error.what() + ")");
    }
    if (!object.is_object())
        throw std::invalid_argument("not a JSON object");
    RunRecord record;
    record.dataFolder = required<std::string>(object, "data_folder");
    record.setNumber = required<std::int32_t>(object, "set");
    record.setIdentity = optional<std::string>(object, "set_id", {});
    record.description = optional<std::string>(object, "description", {});
    record.destination = optional<std::string>(object, "destination", {});
    record.start = requiredTime(object, "start");
    record.end = requiredTime(object, "end");
    const auto mode = modeFromName(required<std::string>(object, "mode"));
    if (!mode)
        throw std::invalid_argument("unknown \"mode\"");
    record.mode = *mode;
    const auto outcome = outcomeFromName(required<std::string>(object, "outcome"));
    if (!outcome)
        throw std::invalid_argument("unknown \"outcome\"");
    record.outcome = *outcome;
    record.files = optional<std::uint64_t>(object, "files", 0);
    record.bytes = optional<std::uint64_t>(object, "bytes", 0);
    record.healed = optional<std::uint64_t>(object, "healed", 0);
    record.removed = optional<std::uint64_t>(object, "removed", 0);
    record.sourceBytes = optional<std::uint64_t>(object, "source_bytes", 0);
    if (const auto it = object.find("verify"); it != object.end() && it->is_object()) {
        backup::VerifyCounts counts;
        for (const auto& [name, member] : kVerifyCounts)
            counts.*member = optional<std::uint64_t>(*it, name, 0);
        record.verify = counts;
    }
    record.missingItems = optional<std::vector<std::string>>(object, "not_found", {});
    record.notes = optional<std::vector<std::string>>(object, "notes", {});
    if (const auto it = object.find("failed"); it != object.end() && it->is_array()) {
        for (const json& failure : *it) {
            if (!failure.is_object())
                throw std::invalid_argument("\"failed\" holds something that is not an object");
            record.failures.push_back(
                {optional<std::string>(failure, "path", {}), optional<std::string>(failure, "reason", {})});
        }
    }
    record.failureCount = optional<std::uint64_t>(object, "failed_count", record.failures.size());
    record.reason = optional<std::string>(object, "reason", {});
    if (const auto it = object.find("file_system"); it != object.end() && it->is_object()) {
        record.fileSystem = optional<std::string>(*it, "id", {});
        record.mountPoint = optional<std::string>(*it, "mount_point", {});
    }
    record.program = optional<std::string>(object, "program", {});
    return record;
}

RunOutcome outcomeOf(const backup::BackupResult& result)
{
    if (result.refused)
        return RunOutcome::Refused;
    if (result.copyFailed || result.otherErrors > 0)
        return RunOutcome::Failed;
    if (result.cancelled)
        return RunOutcome::Cancelled;
    if (!result.missingItems.empty() || result.notBackedUpCount > 0)
        return RunOutcome::Warnings;
    return RunOutcome::Ok;
}

RunRecord makeRunRecord(const std::string& dataFolder, const BackupSet& set,
                        const backup::BackupSettings& settings, const backup::BackupResult& result,
                        RunRecord::Clock::time_point start, const std::string& program)
{
    RunRecord record = baseRecord(dataFolder, set, settings, start, program);
    if (settings.dryRun) {
        record.files = result.preview.files;
        record.bytes = result.preview.bytes;
        record.removed = result.preview.removals;
    } else {
        record.removed = result.removed;
        record.files = result.filesCopied;
        record.bytes = result.bytesCopied;
        record.healed = result.healed;
        record.sourceBytes = result.sourceBytes;
    }
    record.missingItems = result.missingItems;
    record.notes = result.notes;
    // The file that stopped the run comes first: it is the one the user must look at.
    if (result.copyFailed)
        record.failures.push_back({result.failedFile, result.failureReason});
    for (const backup::NotBackedUp& entry : result.notBackedUp) {
        if (record.failures.size() >= RunRecord::kMaxFailures)
            break;
        record.failures.push_back(entry);
    }
    record.failureCount = result.notBackedUpCount + (result.copyFailed ? 1 : 0);
    record.outcome = outcomeOf(result);
    if (result.refused)
        record.reason = result.refusal;
    else if (result.copyFailed)
        record.reason = result.failureReason;
    return record;
}

RunRecord makeVerifyRecord(const std::string& dataFolder, const BackupSet& set,
                           const backup::VerifyResult& result, RunRecord::Clock::time_point start,
                           const std::string& program)
{
    backup::BackupSettings settings;
    settings.destination = set.destination;
    RunRecord record = baseRecord(dataFolder, set, settings, start, program);
    record.mode = RunMode::Verify;
    const backup::VerifyCounts& counts = result.counts;
    record.verify = counts;
    record.files = counts.matched + counts.damaged + counts.unrecorded + counts.differsFromSource;
    record.bytes = counts.bytesRead;
    for (const backup::VerifyProblem& problem : result.problems) {
        if (record.failures.size() >= RunRecord::kMaxFailures)
            break;
        if (backup::isFault(problem.finding))
            record.failures.push_back(
                {problem.path, std::string(backup::findingWord(problem.finding)) + ": " + problem.detail});
    }
    for (const backup::ManifestDamage& damage : result.manifestDamage) {
        if (record.failures.size() >= RunRecord::kMaxFailures)
            break;
        record.failures.push_back({damage.file, "damaged manifest: " + damage.text()});
    }
    record.failureCount = counts.faults() + result.manifestDamage.size();
    switch (result.outcome()) {
    case backup::VerifyResult::Outcome::AllMatch:
    case backup::VerifyResult::Outcome::NothingChecked:
        record.outcome = RunOutcome::Ok;
        break;
    case backup::VerifyResult::Outcome::Faults:
        record.outcome = RunOutcome::Failed;
        record.reason = std::to_string(record.failureCount) +
                        (record.failureCount == 1 ? " copy" : " copies") + " damaged, missing or changed";
        break;
    case backup::VerifyResult::Outcome::Unreadable:
        record.outcome = RunOutcome::Failed;
        record.reason = result.destinationError;
        break;
    }
    if (result.cancelled && result.outcome() != backup::VerifyResult::Outcome::Unreadable)
        record.outcome = RunOutcome::Cancelled;
    return record;
}

RunRecord makeRefusedRecord(const std::string& dataFolder, const BackupSet& set,
                            const backup::BackupSettings& settings, const std::string& reason,
                            RunRecord::Clock::time_point start, const std::string& program)
{
    RunRecord record = baseRecord(dataFolder, set, settings, start, program);
    record.outcome = RunOutcome::Refused;
    record.reason = reason;
    return record;
}

} // namespace stowmere::catalog
