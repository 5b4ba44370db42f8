// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Messages.h"

namespace stowmere::catalog::messages {

std::string changedElsewhereQuestion(const std::string& file)
{
    return file + " was changed by another program while Stowmere was open.\r\n\r\n"
                  "Replace it with the backup sets as they are in this window?";
}

std::string saveFailedQuestion(const std::string& file, const std::string& reason)
{
    return "Could not save " + file + ":\r\n" + reason + "\r\n\r\nTry again?";
}

std::string driveChanged(const std::string& destination)
{
    return "The Backup To Folder " + destination + " is on a different drive than at the last backup.";
}

std::string driveChangedQuestion(const std::string& destination)
{
    return driveChanged(destination) + "\r\n\r\nIs the backup drive connected? Back up anyway?";
}

std::string changedSinceRead(const std::string& file)
{
    return file + " was changed by another program since it was read; it was not overwritten. Run the "
                  "command again.";
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
