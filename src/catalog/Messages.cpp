// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Messages.h"

#include "backup/SftpUrl.h"
#include "catalog/Entities.h"

#include <optional>

namespace stowmere::catalog::messages {
namespace {

std::optional<backup::SftpUrl> serverOf(const std::string& destination)
{
    std::string ignored;
    return backup::isSftpUrl(destination) ? backup::parseSftpUrl(destination, ignored) : std::nullopt;
}

} // namespace

std::string setChangedOnBothSidesQuestion(const BackupSet& theirs, const BackupSet& mine)
{
    return "The backup set \"" + theirs.description +
           "\" was changed by another program while it was changed here.\r\n\r\n"
           "Other program: " +
           theirs.description + ", Backup To Folder " + theirs.destination +
           "\r\nThis window: " + mine.description + ", Backup To Folder " + mine.destination +
           "\r\n\r\nKeep both? Yes keeps the other program's set as it is and adds this window's beside it; "
           "No replaces the other program's change with this window's.";
}

std::string setDeletedElsewhereQuestion(const std::string& description)
{
    return "The backup set \"" + description +
           "\" was deleted by another program while it was changed here.\r\n\r\n"
           "Keep it as it is in this window?";
}

std::string setChangedElsewhereDeletedHereQuestion(const std::string& description)
{
    return "The backup set \"" + description +
           "\" was deleted here while another program changed it.\r\n\r\n"
           "Keep it as the other program left it? No deletes it.";
}

std::string optionsChangedOnBothSidesQuestion(const std::string& description)
{
    return "The options of the backup set \"" + description +
           "\" were changed by another program while they were changed here.\r\n\r\n"
           "Keep the other program's options? The exclusion patterns of both are kept either way; No takes "
           "this window's other options.";
}

std::string keptBoth(const std::string& theirs, const std::string& mine)
{
    return "The backup set \"" + theirs + "\" is kept as another program changed it, and \"" + mine +
           "\" as it was changed here, beside it.";
}

std::string keptForItsPaths(const std::string& description)
{
    return "The backup set \"" + description +
           "\" was not deleted: another program added files or folders to it.";
}

std::string destinationNotWritable(const std::string& folder, const std::string& reason)
{
    return "Could not write to the Backup To Folder " + folder + "\r\n\r\nReason: " + reason;
}

std::string saveFailedQuestion(const std::string& file, const std::string& reason)
{
    return "Could not save " + file + ":\r\n" + reason + "\r\n\r\nTry again?";
}

std::string driveChanged(const std::string& destination)
{
    // A server is recognised by its host key and the folder's file system: either differing
    // means another server, or another disk behind the same folder name.
    if (const auto server = serverOf(destination))
        return "The Backup To Folder " + server->path + " on the server " + server->hostText() +
               " is not on the same server or disk as at the last backup.";
    return "The Backup To Folder " + destination + " is on a different drive than at the last backup.";
}

std::string driveChangedQuestion(const std::string& destination)
{
    if (serverOf(destination))
        return driveChanged(destination) +
               "\r\n\r\nIs this the server and disk you back up to? Back up anyway?";
    return driveChanged(destination) + "\r\n\r\nIs the backup drive connected? Back up anyway?";
}

std::string changesRefused(const std::string& reason)
{
    return "Backup sets cannot be changed while their files cannot be read. " + reason;
}

std::string orphanPaths(const std::string& file, std::size_t count, std::int64_t setNumber)
{
    return file + " holds " + std::to_string(count) + (count == 1 ? " path" : " paths") +
           " of backup set number " + std::to_string(setNumber) +
           ", which does not exist; they are kept as they are and belong to no other set.";
}

std::string zeroByteInPath(std::string_view what)
{
    return std::string(what) + " holds a zero byte, which no file name can hold.";
}

} // namespace stowmere::catalog::messages
