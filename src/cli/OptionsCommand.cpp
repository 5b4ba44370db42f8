// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/OptionsCommand.h"

#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "cli/ProgressPrinter.h"

#include <algorithm>

namespace stowmere::cli {

catalog::SetOptions OptionsCommand::changed(catalog::SetOptions options, const CommandLine& line)
{
    auto& patterns = options.exclusions;
    for (const std::string& pattern : line.noExclude) {
        const auto found = std::find(patterns.begin(), patterns.end(), pattern);
        if (found == patterns.end())
            throw catalog::RuleRefusal("Not an exclusion pattern of this backup set: " +
                                       ProgressPrinter::escapeControl(pattern) + " (nothing was changed)");
        patterns.erase(found);
    }
    for (const std::string& pattern : line.exclude)
        if (std::find(patterns.begin(), patterns.end(), pattern) == patterns.end())
            patterns.push_back(pattern);
    if (line.keepVersions)
        options.keepVersions = *line.keepVersions;
    if (line.keepDays)
        options.keepDays = *line.keepDays;
    if (line.keepDaily)
        options.keepDaily = *line.keepDaily;
    if (line.keepWeekly)
        options.keepWeekly = *line.keepWeekly;
    if (line.keepMonthly)
        options.keepMonthly = *line.keepMonthly;
    if (line.cacheDirTag)
        options.cacheDirTag = *line.cacheDirTag;
    if (line.guard)
        options.guard = *line.guard;
    if (line.mirror)
        options.mirror = *line.mirror;
    return options;
}

void OptionsCommand::print(std::ostream& out, const catalog::SetOptions& options)
{
    for (const std::string& pattern : options.exclusions)
        out << "exclude\t" << ProgressPrinter::escapeControl(pattern) << '\n';
    out << "keep-versions\t" << options.keepVersions << '\n'
        << "keep-days\t" << options.keepDays << '\n'
        << "keep-daily\t" << options.keepDaily << '\n'
        << "keep-weekly\t" << options.keepWeekly << '\n'
        << "keep-monthly\t" << options.keepMonthly << '\n'
        << "cachedir-tag\t" << (options.cacheDirTag ? "on" : "off") << '\n'
        << "guard\t" << (options.guard ? "on" : "off") << '\n'
        << "mirror\t" << (options.mirror ? "on" : "off") << '\n'
        << "drive\t" << (options.driveIdentity.empty() ? "-" : options.driveIdentity) << '\n';
}

ExitCode OptionsCommand::run(catalog::Catalog& data, const CommandLine& line, const catalog::BackupSet& set)
{
    catalog::SetOptions options = data.options(set.number);
    if (line.changesOptions()) {
        options = changed(std::move(options), line);
        data.setOptions(set.number, options);
        const catalog::Catalog::SaveResult result = data.save();
        if (result.status != catalog::Catalog::SaveStatus::Saved)
            throw catalog::TableFileError(result.reason);
    }
    print(m_out, options);
    return ExitCode::Success;
}

} // namespace stowmere::cli
