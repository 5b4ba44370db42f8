// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/RunStart.h"

#include "backup/BackupStartCheck.h"
#include "backup/FailureReport.h"
#include "backup/OpenDestination.h"
#include "backup/SpaceCheck.h"
#include "catalog/Messages.h"
#include "platform/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace stowmere::catalog {
namespace {

/// Why a run could not write into folder, or empty. The run lock is made there first, so
/// a lock file that exists must be one the run can open.
std::string unwritable(const std::string& folder)
{
    const std::string target = folder.empty() ? std::string(1, paths::kSeparator) : folder;
    if (::access(target.c_str(), W_OK | X_OK) != 0)
        return messages::destinationNotWritable(target, std::strerror(errno));
    const std::string lock = paths::join(target, backup::BackupEngine::kRunLockName);
    struct stat status {};
    if (::lstat(lock.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        ::access(lock.c_str(), R_OK | W_OK) != 0)
        return messages::destinationNotWritable(target, lock + ": " + std::strerror(errno));
    return {};
}

} // namespace

bool RunStart::copiesSurelyFit() const
{
    return backup::copiesSurelyFit(settings.destination, checkedItems);
}

RunRecord RunStart::refusedRecord(const std::string& dataFolder, const std::string& reason,
                                  RunRecord::Clock::time_point start, const std::string& program) const
{
    return makeRefusedRecord(dataFolder, set, settings, reason, start, program);
}

RunStart startRun(const RunRequest& request, StartFor purpose)
{
    RunStart start;
    start.set = request.set;
    start.settings = request.settings();
    const auto refuse = [&start](std::string reason, bool failure) {
        start.verdict = RunStart::Verdict::Refused;
        start.refusal = std::move(reason);
        start.failure = failure;
        return start;
    };
    const backup::BackupStartCheck check = request.startCheck();
    if (!check.information.empty() || !check.start)
        return refuse(check.information, false);
    for (std::size_t i = 0; i < request.items.size(); ++i)
        if (request.isChecked && request.isChecked(i))
            start.checkedItems.push_back(request.items[i]);
    if (std::string overlap = backup::checkItemsApart(start.settings.destination, start.checkedItems);
        !overlap.empty())
        return refuse(std::move(overlap), false);
    if (backup::isRemoteLocation(start.settings.destination)) {
        // The connection is kept for the run itself, which reaches the server again.
        std::error_code error;
        const auto destination = backup::openDestination(start.settings.destination, error);
        if (!destination && error == std::errc::no_such_file_or_directory)
            return refuse(backup::missingDestinationText(start.settings.destination), false);
        if (!destination)
            return refuse(error.message(), true);
        if (const std::error_code refused = destination->checkWritable())
            return refuse(messages::destinationNotWritable(start.settings.destination, refused.message()),
                          true);
    } else if (std::string failure = unwritable(start.settings.destination); !failure.empty()) {
        return refuse(std::move(failure), true);
    }
    if (purpose == StartFor::Preview)
        return start;
    start.drive = checkDrive(request.options, request.set.destination);
    if (start.drive.status == DriveCheck::Status::Moved)
        start.verdict = RunStart::Verdict::AskAboutDrive;
    return start;
}

} // namespace stowmere::catalog
