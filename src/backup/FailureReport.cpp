// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/FailureReport.h"

#include "backup/BackupEngine.h"

#include "platform/FreeSpace.h"
#include "platform/Paths.h"
#include "platform/Translation.h"

#include <algorithm>
#include <cstdio>

namespace stowmere::backup {
namespace {

constexpr std::uint64_t kKilo = 1024;
constexpr std::uint64_t kMega = kKilo * 1024;
constexpr std::uint64_t kGiga = kMega * 1024;

std::string twoDecimals(std::uint64_t bytes, std::uint64_t unit, const char* suffix)
{
    // The largest 64-bit count in GB has 11 integer digits. Numbers are printed in the "C"
    // locale; a person reads the separator of their own.
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(bytes) / static_cast<double>(unit));
    std::string number(text);
    if (const std::size_t point = number.find('.'); point != std::string::npos)
        number.replace(point, 1, translation::decimalSeparator());
    return translation::format(_(suffix), number);
}

} // namespace

std::uint64_t freeSpaceOf(const std::string& folder)
{
    return files::freeBytes(folder);
}

std::string formatByteSize(std::uint64_t bytes)
{
    if (bytes > kGiga)
        return twoDecimals(bytes, kGiga, N_("%s GB"));
    if (bytes > kMega)
        return twoDecimals(bytes, kMega, N_("%s MB"));
    if (bytes > kKilo)
        return twoDecimals(bytes, kKilo, N_("%s KB"));
    return translation::format(_("%s Bytes"), bytes);
}

std::string folderPartOf(const std::string& path)
{
    const std::size_t slash = path.rfind(paths::kSeparator);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string copyFailureText(const std::string& source, const std::string& targetFolder,
                            std::uint64_t freeBytes)
{
    return translation::format(_("Could not backup file: %s"), source) + "\r\n\r\n" +
           _("Drive could be full.") + "\r\n\r\n" +
           translation::format(_("Available space on drive %s %s"), targetFolder, formatByteSize(freeBytes)) +
           "\r\n\r\n" + _("Or try running this application with administrator rights.");
}

std::string copyFailureText(const std::string& source, const std::string& targetFolder,
                            std::uint64_t freeBytes, const std::string& reason)
{
    std::string text = copyFailureText(source, targetFolder, freeBytes);
    if (!reason.empty())
        text += "\r\n\r\n" + translation::format(_("Reason: %s"), reason);
    return text;
}

std::string notBackedUpText(const std::vector<NotBackedUp>& entries, std::size_t total)
{
    std::string text = _("These files could not be read and were not backed up:");
    const std::size_t shown = std::min(entries.size(), kMaxNotBackedUpLines);
    for (std::size_t i = 0; i < shown; ++i)
        text += "\r\n" + entries[i].path + ": " + entries[i].reason;
    if (total > shown)
        text += "\r\n" + translation::format(_("... and %d more"), total - shown);
    return text;
}

std::string overlapText(const std::string& destination, const std::string& item)
{
    return translation::format(_("The Backup To Folder %s and the item %s lie inside each other."),
                               destination, item);
}

std::string missingDestinationText(const std::string& destination)
{
    if (destination.empty())
        return _("Backup To Folder does not exist.");
    return translation::format(_("Backup To Folder %s does not exist."), destination);
}

std::string destinationBusyText(const std::string& destination, const std::string& holder)
{
    if (holder == "restore")
        return translation::format(_("A restore from %s is running."), destination);
    if (holder == "verify")
        return translation::format(_("A verification of %s is running."), destination);
    return translation::format(_("Another backup into %s is running."), destination);
}

std::string missingItemsText(const std::vector<std::string>& items)
{
    std::string text = _("These items were not found and were not backed up:");
    for (const std::string& item : items)
        text += "\r\n" + item;
    return text;
}

std::string notEnoughSpaceLine(std::uint64_t needed, std::uint64_t free, const std::string& destination)
{
    return translation::format(_("This backup needs %s; %s is free at %s."), formatByteSize(needed),
                               formatByteSize(free), destination);
}

std::string notEnoughSpaceQuestion(std::uint64_t needed, std::uint64_t free, const std::string& destination)
{
    return notEnoughSpaceLine(needed, free, destination) + "\r\n\r\n" + _("Start anyway?");
}

} // namespace stowmere::backup

namespace stowmere::backup {

std::vector<std::string> notKeptLines(const files::MetadataLoss& loss, const std::string& place)
{
    std::vector<std::string> lines;
    if (loss.owner)
        lines.push_back(
            "Owners and groups could not be kept in " + place + " (" + loss.owner.message() +
            "): those copies belong to the user who made them, without set-uid and set-gid bits.");
    if (loss.attributes)
        lines.push_back("Extended attributes could not be kept in " + place + " (" +
                        loss.attributes.message() + ").");
    if (loss.acls)
        lines.push_back("Access control lists could not be kept in " + place + " (" + loss.acls.message() +
                        ").");
    return lines;
}

} // namespace stowmere::backup
