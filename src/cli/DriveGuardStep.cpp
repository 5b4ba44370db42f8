// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DriveGuardStep.h"

#include "backup/SftpUrl.h"
#include "catalog/Catalog.h"
#include "cli/ProgressPrinter.h"
#include "platform/Translation.h"

namespace stowmere::cli {

std::string terminalText(const std::string& text)
{
    std::string lines;
    std::size_t from = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", from)) {
        lines += ProgressPrinter::escapeControl(text.substr(from, at - from)) + '\n';
        from = at + 2;
    }
    return lines + ProgressPrinter::escapeControl(text.substr(from));
}

std::string driveRemedy(const std::string& set, const std::string& destination)
{
    if (backup::isSftpUrl(destination))
        return translation::format(
            _("Check that the server and its disk are the ones you back up to, or run "
              "'stowmere-cli backup %s --accept-new-drive' if the server or its disk was "
              "replaced."),
            set);
    return translation::format(_("Connect the backup drive, or run 'stowmere-cli backup %s "
                                 "--accept-new-drive' if the drive was replaced."),
                               set);
}

bool passDriveGuard(const catalog::DriveCheck& check, const std::string& set, const std::string& destination,
                    bool acceptNewDrive, bool dryRun, std::ostream& err)
{
    using Status = catalog::DriveCheck::Status;
    if (check.status == Status::Unknown) {
        err << translation::format(
            backup::isSftpUrl(destination)
                ? _("stowmere-cli: note: the server of the Backup To Folder cannot be told "
                    "(%s); the backup goes ahead.\n")
                : _("stowmere-cli: note: the drive of the Backup To Folder cannot be told "
                    "(%s); the backup goes ahead.\n"),
            ProgressPrinter::escapeControl(check.error));
        return true;
    }
    if (check.status != Status::Moved || acceptNewDrive)
        return true;
    if (dryRun) {
        err << translation::format(_("stowmere-cli: note: %s"), ProgressPrinter::escapeControl(check.finding))
            << '\n';
        return true;
    }
    err << ProgressPrinter::escapeControl(check.finding) << '\n'
        << _("Nothing was copied.") << ' ' << driveRemedy(set, destination) << '\n';
    return false;
}

bool ranThrough(const backup::BackupResult& result)
{
    return !result.refused && !result.cancelled && !result.copyFailed && result.otherErrors == 0;
}

void recordDrive(const std::string& dataFolder, std::int32_t setNumber, const catalog::DriveCheck& check,
                 std::ostream& err)
{
    if (check.identity.empty())
        return;
    try {
        catalog::Catalog data(dataFolder);
        data.openForChange();
        // A damaged options file has been reported already and is never written.
        if (!data.openErrors().empty() || !data.optionsReadable() || !data.findSet(setNumber))
            return;
        if (!check.needsRecording(data.options(setNumber)))
            return;
        data.recordDriveIdentity(setNumber, check.identity);
        const catalog::Catalog::SaveResult saved = data.save();
        if (saved.status != catalog::Catalog::SaveStatus::Saved)
            err << translation::format(_("stowmere-cli: note: the drive of this backup was not recorded: %s"),
                                       saved.reason.empty()
                                           ? translation::format(_("%s was changed meanwhile"), saved.file)
                                           : saved.reason)
                << '\n';
    } catch (const std::exception& error) {
        err << translation::format(_("stowmere-cli: note: the drive of this backup was not recorded: %s"),
                                   error.what())
            << '\n';
    }
}

} // namespace stowmere::cli
