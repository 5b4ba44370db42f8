// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include "platform/Translation.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace stowmere::cli {
namespace {

constexpr std::array<std::pair<Command, const char*>, 17> kNames{{
    {Command::Help, "help"},
    {Command::List, "list"},
    {Command::Paths, "paths"},
    {Command::NewSet, "new-set"},
    {Command::AddPaths, "add-paths"},
    {Command::RemovePaths, "remove-paths"},
    {Command::DeleteSet, "delete-set"},
    {Command::Backup, "backup"},
    {Command::Dump, "dump"},
    {Command::Schedule, "schedule"},
    {Command::Unschedule, "unschedule"},
    {Command::History, "history"},
    {Command::Options, "options"},
    {Command::Versions, "versions"},
    {Command::Restore, "restore"},
    {Command::TrustHost, "trust-host"},
    {Command::Verify, "verify"},
}};

// The reason given for an option's value it cannot take: "--guard needs on or off, not 'x'".
std::string refusedValue(std::string_view option, std::string_view wanted, std::string_view value)
{
    return translation::format(_("%s needs %s, not '%s'"), option, wanted, value);
}

struct Arity {
    std::size_t minimum;
    std::size_t maximum;
    const char* missing; ///< names the first argument that is missing, for the reason text
};

Arity arityOf(Command command, std::size_t given)
{
    constexpr std::size_t many = static_cast<std::size_t>(-1);
    switch (command) {
    case Command::List:
        return {0, 0, ""};
    case Command::Paths:
    case Command::DeleteSet:
    case Command::Backup:
    case Command::Unschedule:
    case Command::Options:
    case Command::TrustHost:
    case Command::Verify:
        return {1, 1, "SET"};
    case Command::Versions:
        return {1, 2, "SET"};
    case Command::Restore:
        return {2, many, given == 0 ? "SET" : "PATH"};
    case Command::Schedule:
    case Command::History:
        return {0, 1, ""};
    case Command::NewSet:
        return {2, 2, given == 0 ? "DESCRIPTION" : "DEST"};
    case Command::AddPaths:
    case Command::RemovePaths:
        return {2, many, given == 0 ? "SET" : "PATH"};
    case Command::Dump:
        return {1, 1, "FILE"};
    case Command::Help:
        return {0, 1, ""};
    case Command::None:
        break;
    }
    return {0, 0, ""};
}

std::optional<NotifyMode> notifyModeFromName(const std::string& name)
{
    if (name == "always")
        return NotifyMode::Always;
    if (name == "failures")
        return NotifyMode::Failures;
    if (name == "never")
        return NotifyMode::Never;
    return std::nullopt;
}

std::string seeHelp(Command command)
{
    if (command == Command::None || command == Command::Help)
        return _(" (see 'stowmere-cli --help')");
    return translation::format(_(" (see 'stowmere-cli %s --help')"), commandName(command));
}

/// A count of --keep-versions or --keep-days: a whole number from 0.
std::optional<std::int32_t> countOf(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return static_cast<std::int32_t>(std::stol(text));
}

std::optional<bool> switchOf(const std::string& text)
{
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    return std::nullopt;
}

} // namespace

std::string commandName(Command command)
{
    for (const auto& [value, name] : kNames)
        if (value == command)
            return name;
    return {};
}

Command commandFromName(const std::string& name)
{
    for (const auto& [value, text] : kNames)
        if (text == name)
            return value;
    return Command::None;
}

CommandLine CommandLine::parse(const std::vector<std::string>& words)
{
    CommandLine line;
    bool optionsEnded = false;
    bool collectingOnly = false;
    bool sawIncremental = false;
    bool sawQuiet = false;
    bool sawDryRun = false;
    bool sawJson = false;
    bool sawVerbose = false;
    bool sawForce = false;

    auto fail = [&line](const std::string& reason) -> UsageError {
        return UsageError(line.command, reason + seeHelp(line.command));
    };
    // The options that take a value, and the commands they belong to.
    struct ValueOption {
        const char* name;
        const char* value;
        Command command;
    };
    constexpr std::array<ValueOption, 13> kValueOptions{{
        {"--exclude", N_("a PATTERN"), Command::Options},
        {"--no-exclude", N_("a PATTERN"), Command::Options},
        {"--keep-versions", N_("a number"), Command::Options},
        {"--keep-days", N_("a number"), Command::Options},
        {"--keep-daily", N_("a number"), Command::Options},
        {"--keep-weekly", N_("a number"), Command::Options},
        {"--keep-monthly", N_("a number"), Command::Options},
        {"--cachedir-tag", N_("on or off"), Command::Options},
        {"--guard", N_("on or off"), Command::Options},
        {"--mirror", N_("on or off"), Command::Options},
        {"--to", N_("a folder"), Command::Restore},
        {"--at", N_("a time"), Command::Restore},
        {"--verify", N_("weekly or monthly"), Command::Schedule},
    }};
    std::vector<std::pair<std::string, Command>> valueOptionsGiven;

    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const bool isOption = !optionsEnded && word.size() > 1 && word.front() == '-';
        if (!isOption) {
            if (line.command == Command::None) {
                line.command = commandFromName(word);
                if (line.command == Command::None)
                    throw fail(translation::format(_("unknown command '%s'"), word));
            } else if (collectingOnly) {
                line.onlyPaths.push_back(word);
            } else {
                line.arguments.push_back(word);
            }
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        collectingOnly = false;
        if (word == "--help" || word == "-h") {
            line.help = true;
        } else if (word == "--version") {
            line.version = true;
        } else if (word == "--data") {
            if (i + 1 >= words.size() || words[i + 1].empty())
                throw fail(_("--data needs a folder"));
            line.dataFolder = words[++i];
        } else if (word.rfind("--data=", 0) == 0) {
            if (word.size() == 7)
                throw fail(_("--data needs a folder"));
            line.dataFolder = word.substr(7);
        } else if (word == "--daily" || word.rfind("--daily=", 0) == 0) {
            const bool separate = word == "--daily";
            if (separate && i + 1 >= words.size())
                throw fail(_("--daily needs a time as HH:MM"));
            const std::string time = separate ? words[++i] : word.substr(8);
            line.dailyTime = catalog::DailyTime::parse(time);
            if (!line.dailyTime)
                throw fail(refusedValue("--daily", _("a time as HH:MM from 00:00 to 23:59"), time));
        } else if (const auto known = std::find_if(kValueOptions.begin(), kValueOptions.end(),
                                                   [&word](const ValueOption& option) {
                                                       const std::string name = option.name;
                                                       return word == name || word.rfind(name + "=", 0) == 0;
                                                   });
                   known != kValueOptions.end()) {
            const std::string name = known->name;
            const bool separate = word == name;
            if (separate && i + 1 >= words.size())
                throw fail(translation::format(_("%s needs %s"), name, _(known->value)));
            const std::string value = separate ? words[++i] : word.substr(name.size() + 1);
            valueOptionsGiven.emplace_back(name, known->command);
            if (name == "--exclude" || name == "--no-exclude") {
                if (value.empty())
                    throw fail(translation::format(_("%s needs %s"), name, _(known->value)));
                (name == "--exclude" ? line.exclude : line.noExclude).push_back(value);
            } else if (name == "--keep-versions" || name == "--keep-days" || name == "--keep-daily" ||
                       name == "--keep-weekly" || name == "--keep-monthly") {
                const auto count = countOf(value);
                if (!count)
                    throw fail(refusedValue(name, _("a whole number from 0"), value));
                (name == "--keep-versions" ? line.keepVersions
                 : name == "--keep-days"   ? line.keepDays
                 : name == "--keep-daily"  ? line.keepDaily
                 : name == "--keep-weekly" ? line.keepWeekly
                                           : line.keepMonthly) = count;
            } else if (name == "--cachedir-tag" || name == "--guard" || name == "--mirror") {
                const auto on = switchOf(value);
                if (!on)
                    throw fail(refusedValue(name, _("on or off"), value));
                (name == "--guard" ? line.guard : name == "--mirror" ? line.mirror : line.cacheDirTag) = on;
            } else if (name == "--verify") {
                line.verifyPeriod = catalog::verifyPeriodFromName(value);
                if (!line.verifyPeriod)
                    throw fail(refusedValue(name, _("weekly or monthly"), value));
            } else if (name == "--to") {
                if (value.empty())
                    throw fail(_("--to needs a folder"));
                line.restoreTo = value;
            } else {
                if (value.empty())
                    throw fail(_("--at needs a time"));
                line.at = value;
            }
        } else if (word == "--accept-new-drive") {
            line.acceptNewDrive = true;
        } else if (word == "--allow-mass-removal") {
            line.allowMassRemoval = true;
        } else if (word == "--all") {
            line.all = true;
        } else if (word == "--overwrite") {
            line.overwrite = true;
        } else if (word == "--yes") {
            line.yes = true;
        } else if (word == "--against-source") {
            line.againstSource = true;
        } else if (word == "--notify" || word.rfind("--notify=", 0) == 0) {
            const bool separate = word == "--notify";
            if (separate && i + 1 >= words.size())
                throw fail(_("--notify needs always, failures or never"));
            const std::string when = separate ? words[++i] : word.substr(9);
            line.notify = notifyModeFromName(when);
            if (!line.notify)
                throw fail(
                    translation::format(_("--notify needs always, failures or never, not '%s'"), when));
        } else if (word == "--incremental") {
            sawIncremental = true;
        } else if (word == "--quiet" || word == "-q") {
            sawQuiet = true;
        } else if (word == "--dry-run" || word == "-n") {
            sawDryRun = true;
        } else if (word == "--force" || word == "-f") {
            sawForce = true;
        } else if (word == "--json") {
            sawJson = true;
        } else if (word == "--verbose" || word == "-v") {
            sawVerbose = true;
        } else if (word == "--only") {
            line.only = true;
            collectingOnly = true;
        } else {
            throw fail(translation::format(_("unknown option '%s'"), word));
        }
    }

    if (line.help || line.version) {
        // "COMMAND --help" and "help --help" need nothing else to be right.
        return line;
    }
    if (line.command == Command::None)
        throw fail(_("no command given"));

    if (line.command != Command::Backup) {
        const bool scheduling = line.command == Command::Schedule && !line.arguments.empty();
        const char* stray = sawIncremental && !scheduling ? "--incremental"
                            : sawQuiet                    ? "--quiet"
                            : line.only                   ? "--only"
                            : sawDryRun                   ? "--dry-run"
                            : sawForce                    ? "--force"
                                                          : nullptr;
        if (stray && std::string_view(stray) == "--incremental")
            throw fail(_("--incremental belongs to the backup command and 'schedule SET' only"));
        if (stray)
            throw fail(translation::format(_("%s belongs to the backup command only"), stray));
    }
    for (const auto& [name, command] : valueOptionsGiven) {
        // --at names a moment for the listing of versions as for a restore.
        if (name == "--at" && line.command == Command::Versions)
            continue;
        if (command != line.command)
            throw fail(name == "--at" ? translation::format(
                                            _("%s belongs to the restore and versions commands only"), name)
                                      : translation::format(_("%s belongs to the %s command only"), name,
                                                            commandName(command)));
    }
    if (line.all && line.command != Command::Unschedule)
        throw fail(_("--all belongs to the unschedule command only"));
    if (line.all && !line.arguments.empty())
        throw fail(_("unschedule: --all removes every schedule and takes no SET"));
    if (line.acceptNewDrive && line.command != Command::Backup)
        throw fail(_("--accept-new-drive belongs to the backup command only"));
    if (line.allowMassRemoval && line.command != Command::Backup)
        throw fail(_("--allow-mass-removal belongs to the backup command only"));
    if (line.overwrite && line.command != Command::Restore)
        throw fail(_("--overwrite belongs to the restore command only"));
    if (line.yes && line.command != Command::TrustHost)
        throw fail(_("--yes belongs to the trust-host command only"));
    if (line.againstSource && line.command != Command::Verify)
        throw fail(_("--against-source belongs to the verify command only"));
    if (line.notify && ((line.command != Command::Backup && line.command != Command::Verify) || sawDryRun))
        throw fail(_("--notify belongs to the backup command, not to a --dry-run, and to verify"));
    if (line.dailyTime && !(line.command == Command::Schedule && !line.arguments.empty()))
        throw fail(_("--daily belongs to 'schedule SET' only"));
    if (line.verifyPeriod && line.arguments.empty())
        throw fail(_("--verify belongs to 'schedule SET' only"));
    if (line.command == Command::Schedule && !line.arguments.empty() && !line.dailyTime && !line.verifyPeriod)
        throw fail(_("schedule: missing --daily HH:MM"));
    if (line.verifyPeriod && !line.dailyTime && sawIncremental)
        throw fail(_("--incremental belongs to a backup schedule (--daily HH:MM)"));
    if (sawJson && line.command != Command::Backup && line.command != Command::History &&
        line.command != Command::List && line.command != Command::Verify)
        throw fail(_("--json belongs to the backup, list, history and verify commands only"));
    if (sawVerbose && line.command != Command::Backup)
        throw fail(_("--verbose belongs to the backup command only"));
    line.incremental = sawIncremental;
    line.quiet = sawQuiet;
    line.dryRun = sawDryRun;
    line.json = sawJson;
    line.verbose = sawVerbose;
    line.force = sawForce;
    if (line.only && line.onlyPaths.empty())
        throw fail(_("--only needs at least one PATH"));

    const Arity arity = line.all ? Arity{0, 0, ""} : arityOf(line.command, line.arguments.size());
    const std::string name = commandName(line.command);
    if (line.arguments.size() < arity.minimum)
        throw fail(translation::format(_("%s: missing %s"), name, arity.missing));
    if (line.arguments.size() > arity.maximum)
        throw fail(
            translation::format(_("%s: unexpected argument '%s'"), name, line.arguments[arity.maximum]));
    for (const std::string& argument : line.arguments)
        if (argument.empty() && line.command != Command::NewSet)
            throw fail(translation::format(_("%s: an argument is empty"), name));

    if (line.command == Command::Help && !line.arguments.empty()) {
        line.helpTopic = commandFromName(line.arguments.front());
        if (line.helpTopic == Command::None)
            throw fail(translation::format(_("help: unknown command '%s'"), line.arguments.front()));
    }
    return line;
}

} // namespace stowmere::cli
