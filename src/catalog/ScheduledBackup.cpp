// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/ScheduledBackup.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

namespace stowmere::catalog {
namespace {

constexpr std::string_view kMetadataSection = "[X-Stowmere]";

bool isControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

void refuseControlCharacters(const std::string& text, const char* what)
{
    for (const char c : text)
        if (isControl(c))
            throw ScheduleError(std::string(what) +
                                " holds a control character and cannot be scheduled: " + text);
}

/// A description for a Description= line: systemd expands "%" specifiers there, and a line
/// break would end the setting.
std::string descriptionForUnit(const std::string& text)
{
    std::string result;
    for (const char c : text) {
        if (c == '%')
            result += "%%";
        else
            result += isControl(c) ? ' ' : c;
    }
    return result;
}

/// One word of an ExecStart= line, quoted so that spaces, quotes, backslashes, "%"
/// specifiers and "$" variables all reach the program as written.
std::string execWord(const std::string& word)
{
    std::string result = "\"";
    for (const char c : word) {
        switch (c) {
        case '\\':
            result += "\\\\";
            break;
        case '"':
            result += "\\\"";
            break;
        case '%':
            result += "%%";
            break;
        case '$':
            result += "$$";
            break;
        default:
            result += c;
        }
    }
    return result + '"';
}

/// A path as the value of a condition or assertion: "%" specifiers escaped, nothing
/// quoted (the whole value is the path).
std::string unitPathValue(const std::string& path)
{
    std::string result;
    for (const char c : path) {
        if (c == '%')
            result += '%';
        result += c;
    }
    return result;
}

std::string shellWord(const std::string& word)
{
    std::string result = "'";
    for (const char c : word) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + '\'';
}

/// A metadata value: written between quotes and read back between the first and the last
/// quote, so that leading or trailing spaces and a final backslash (which would continue
/// the line in a unit file) survive.
std::string quotedValue(const std::string& text)
{
    return '"' + text + '"';
}

std::string unquotedValue(std::string_view value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return std::string(value.substr(1, value.size() - 2));
    return std::string(value);
}

std::string header(std::int32_t setNumber)
{
    return "# Written by stowmere-cli schedule; 'stowmere-cli unschedule " + std::to_string(setNumber) +
           "' removes it.\n";
}

} // namespace

std::optional<DailyTime> DailyTime::parse(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    DailyTime time;
    const auto hour = std::from_chars(text.data(), text.data() + colon, time.hour);
    const auto minute = std::from_chars(text.data() + colon + 1, text.data() + text.size(), time.minute);
    if (hour.ec != std::errc() || hour.ptr != text.data() + colon || minute.ec != std::errc() ||
        minute.ptr != text.data() + text.size())
        return std::nullopt;
    if (text.front() == '-' || text[colon + 1] == '-' || time.hour > 23 || time.minute > 59)
        return std::nullopt;
    return time;
}

std::string DailyTime::text() const
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", hour, minute);
    return buffer;
}

const char* verifyPeriodName(VerifyPeriod period)
{
    return period == VerifyPeriod::Weekly ? "weekly" : "monthly";
}

std::optional<VerifyPeriod> verifyPeriodFromName(std::string_view name)
{
    if (name == "weekly")
        return VerifyPeriod::Weekly;
    if (name == "monthly")
        return VerifyPeriod::Monthly;
    return std::nullopt;
}

std::string ScheduledBackup::whenText() const
{
    return verify ? verifyPeriodName(*verify) : "daily " + time.text();
}

std::string ScheduledBackup::legacyUnitName(std::int32_t setNumber)
{
    return "stowmere-backup-" + std::to_string(setNumber);
}

std::string ScheduledBackup::folderTag(const std::string& dataFolder)
{
    // 32-bit FNV-1a: small, fixed for good, and enough to keep a user's few data folders
    // apart. The data folder itself is in the timer's metadata and decides what is whose.
    std::uint32_t hash = 2166136261u;
    for (const char c : dataFolder) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08x", static_cast<unsigned>(hash));
    return buffer;
}

std::string ScheduledBackup::unitName(std::int32_t setNumber, const std::string& dataFolder)
{
    return "stowmere-backup-" + folderTag(dataFolder) + '-' + std::to_string(setNumber);
}

std::string ScheduledBackup::verifyUnitName(std::int32_t setNumber, const std::string& dataFolder)
{
    return "stowmere-verify-" + folderTag(dataFolder) + '-' + std::to_string(setNumber);
}

std::string ScheduledBackup::serviceText() const
{
    refuseControlCharacters(executable, "The path of stowmere-cli");
    refuseControlCharacters(dataFolder, "The data folder");
    // A verification notifies of damaged or missing copies by default: nobody watches it.
    std::string command =
        execWord(executable) + (verify ? " verify " : " backup ") + std::to_string(setNumber);
    if (incremental && !verify)
        command += " --incremental";
    command += " --data " + execWord(dataFolder);

    std::string text = header(setNumber);
    text += "[Unit]\n";
    text += std::string("Description=Stowmere ") + (verify ? "verification" : "backup") + " of \"" +
            descriptionForUnit(description) + "\"\n";
    text += "Documentation=man:stowmere-cli(1)\n";
    // Once the package is removed the run fails with a journal line that names the program
    // ("Assertion failed ... AssertFileIsExecutable=/usr/bin/stowmere-cli"), rather than a
    // bare exec error; 'stowmere-cli unschedule --all' before removal avoids it.
    text += "AssertFileIsExecutable=" + unitPathValue(executable) + "\n";
    text += "\n[Service]\n";
    text += "Type=oneshot\n";
    text += "ExecStart=" + command + "\n";
    // "systemctl --user stop" ends a run with SIGTERM, which the program answers by stopping
    // cleanly with 143: a stop asked for, not a failure.
    text += "SuccessExitStatus=143\n";
    text += "Nice=10\n";
    text += "IOSchedulingClass=idle\n";
    return text;
}

std::string ScheduledBackup::timerText() const
{
    refuseControlCharacters(executable, "The path of stowmere-cli");
    refuseControlCharacters(dataFolder, "The data folder");
    std::string plainDescription = description;
    for (char& c : plainDescription)
        if (isControl(c))
            c = ' ';

    std::string text = header(setNumber);
    text += "[Unit]\n";
    if (verify) {
        text += std::string("Description=") + (*verify == VerifyPeriod::Weekly ? "Weekly" : "Monthly") +
                " Stowmere verification of \"" + descriptionForUnit(description) + "\"\n";
    } else {
        text += "Description=Daily Stowmere backup of \"" + descriptionForUnit(description) + "\" at " +
                time.text() + "\n";
    }
    text += "Documentation=man:stowmere-cli(1)\n";
    text += "\n[Timer]\n";
    text +=
        "OnCalendar=" + (verify ? std::string(verifyPeriodName(*verify)) : "*-*-* " + time.text() + ":00") +
        "\n";
    text += "Persistent=true\n";
    text += "\n[Install]\n";
    text += "WantedBy=timers.target\n";
    text += "\n" + std::string(kMetadataSection) + "\n";
    text += "Set=" + std::to_string(setNumber) + "\n";
    if (verify) {
        text += std::string("Verify=") + verifyPeriodName(*verify) + "\n";
    } else {
        text += "Time=" + time.text() + "\n";
        text += std::string("Incremental=") + (incremental ? "yes" : "no") + "\n";
    }
    text += "Data=" + quotedValue(dataFolder) + "\n";
    text += "Executable=" + quotedValue(executable) + "\n";
    text += "SetDescription=" + quotedValue(plainDescription) + "\n";
    return text;
}

std::string ScheduledBackup::crontabLine() const
{
    refuseControlCharacters(executable, "The path of stowmere-cli");
    refuseControlCharacters(dataFolder, "The data folder");
    std::string command =
        shellWord(executable) + (verify ? " verify " : " backup ") + std::to_string(setNumber);
    if (incremental && !verify)
        command += " --incremental";
    command += " --quiet --data " + shellWord(dataFolder);
    // cron turns an unescaped "%" into a line break.
    std::string escaped;
    for (const char c : command) {
        if (c == '%')
            escaped += '\\';
        escaped += c;
    }
    // systemd's "weekly" and "monthly" start at midnight, on Monday and on the first.
    if (verify)
        return std::string(*verify == VerifyPeriod::Weekly ? "0 0 * * 1 " : "0 0 1 * * ") + escaped;
    return std::to_string(time.minute) + ' ' + std::to_string(time.hour) + " * * * " + escaped;
}

std::optional<ScheduledBackup> ScheduledBackup::fromTimerText(std::string_view text)
{
    ScheduledBackup backup;
    bool inSection = false;
    bool haveSet = false;
    bool haveTime = false;
    bool haveData = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.front() == '[') {
            inSection = line == kMetadataSection;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (key == "Set") {
            const auto result = std::from_chars(value.data(), value.data() + value.size(), backup.setNumber);
            haveSet = result.ec == std::errc() && result.ptr == value.data() + value.size();
        } else if (key == "Time") {
            const std::optional<DailyTime> time = DailyTime::parse(value);
            haveTime = time.has_value();
            if (time)
                backup.time = *time;
        } else if (key == "Verify") {
            backup.verify = verifyPeriodFromName(value);
            haveTime = backup.verify.has_value();
        } else if (key == "Incremental") {
            backup.incremental = value == "yes";
        } else if (key == "Data") {
            backup.dataFolder = unquotedValue(value);
            haveData = !backup.dataFolder.empty();
        } else if (key == "Executable") {
            backup.executable = unquotedValue(value);
        } else if (key == "SetDescription") {
            backup.description = unquotedValue(value);
        }
    }
    if (!haveSet || !haveTime || !haveData)
        return std::nullopt;
    return backup;
}

} // namespace stowmere::catalog
