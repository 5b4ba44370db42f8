// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Messages.h"

#include "backup/SftpUrl.h"
#include "catalog/Entities.h"
#include "platform/Translation.h"

#include <optional>

namespace stowmere::catalog::messages {
namespace {
using translation::format;

std::optional<backup::SftpUrl> serverOf(const std::string& destination)
{
    std::string ignored;
    return backup::isSftpUrl(destination) ? backup::parseSftpUrl(destination, ignored) : std::nullopt;
}

} // namespace

std::string setChangedOnBothSidesQuestion(const BackupSet& theirs, const BackupSet& mine)
{
    return format(_("The backup set \"%s\" was changed by another program while it was changed here."),
                  theirs.description) +
           "\r\n\r\n" +
           format(_("Other program: %s, Backup To Folder %s"), theirs.description, theirs.destination) +
           "\r\n" + format(_("This window: %s, Backup To Folder %s"), mine.description, mine.destination) +
           "\r\n\r\n" +
           _("Keep both? Yes keeps the other program's set as it is and adds this window's beside it; No "
             "replaces "
             "the other program's change with this window's.");
}

std::string setDeletedElsewhereQuestion(const std::string& description)
{
    return format(_("The backup set \"%s\" was deleted by another program while it was changed here."),
                  description) +
           "\r\n\r\n" + _("Keep it as it is in this window?");
}

std::string setChangedElsewhereDeletedHereQuestion(const std::string& description)
{
    return format(_("The backup set \"%s\" was deleted here while another program changed it."),
                  description) +
           "\r\n\r\n" + _("Keep it as the other program left it? No deletes it.");
}

std::string optionsChangedOnBothSidesQuestion(const std::string& description)
{
    return format(_("The options of the backup set \"%s\" were changed by another program while they were "
                    "changed here."),
                  description) +
           "\r\n\r\n" +
           _("Keep the other program's options? The exclusion patterns of both are kept either way; No takes "
             "this window's other options.");
}

std::string keptBoth(const std::string& theirs, const std::string& mine)
{
    return format(
        _("The backup set \"%s\" is kept as another program changed it, and \"%s\" as it was changed "
          "here, beside it."),
        theirs, mine);
}

std::string keptForItsPaths(const std::string& description)
{
    return format(_("The backup set \"%s\" was not deleted: another program added files or folders to it."),
                  description);
}

std::string destinationNotWritable(const std::string& folder, const std::string& reason)
{
    return format(_("Could not write to the Backup To Folder %s"), folder) + "\r\n\r\n" +
           format(_("Reason: %s"), reason);
}

std::string saveFailedQuestion(const std::string& file, const std::string& reason)
{
    return format(_("Could not save %s:"), file) + "\r\n" + reason + "\r\n\r\n" + _("Try again?");
}

std::string driveChanged(const std::string& destination)
{
    // A server is recognised by its host key and the folder's file system: either differing
    // means another server, or another disk behind the same folder name.
    if (const auto server = serverOf(destination))
        return format(
            _("The Backup To Folder %s on the server %s is not on the same server or disk as at the last "
              "backup."),
            server->path, server->hostText());
    return format(_("The Backup To Folder %s is on a different drive than at the last backup."), destination);
}

std::string driveChangedQuestion(const std::string& destination)
{
    if (serverOf(destination))
        return driveChanged(destination) + "\r\n\r\n" +
               _("Is this the server and disk you back up to? Back up anyway?");
    return driveChanged(destination) + "\r\n\r\n" + _("Is the backup drive connected? Back up anyway?");
}

std::string changesRefused(const std::string& reason)
{
    return format(_("Backup sets cannot be changed while their files cannot be read. %s"), reason);
}

std::string orphanPaths(const std::string& file, std::size_t count, std::int64_t setNumber)
{
    return format(
        ngettext("%s holds %d path of backup set number %d, which does not exist; they are kept as they "
                 "are and belong to no other set.",
                 "%s holds %d paths of backup set number %d, which does not exist; they are kept as they "
                 "are and belong to no other set.",
                 count),
        file, count, setNumber);
}

std::string zeroByteInPath(std::string_view what)
{
    return format(_("%s holds a zero byte, which no file name can hold."), what);
}

} // namespace stowmere::catalog::messages
