// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/FailureReport.h"

#include "backup/BackupEngine.h"

#include "platform/FreeSpace.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstdio>

namespace stowmere::backup {
namespace {

constexpr std::uint64_t kKilo = 1024;
constexpr std::uint64_t kMega = kKilo * 1024;
constexpr std::uint64_t kGiga = kMega * 1024;

std::string twoDecimals(std::uint64_t bytes, std::uint64_t unit, const char* suffix)
{
    // The largest 64-bit count in GB has 11 integer digits; the buffer leaves room for any
    // decimal separator the locale may use.
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %s", static_cast<double>(bytes) / static_cast<double>(unit),
                  suffix);
    return text;
}

} // namespace

std::uint64_t GetFreeSpace(const std::string& folder)
{
    return files::freeBytes(folder);
}

std::string FormatByteSize(std::uint64_t bytes)
{
    if (bytes > kGiga)
        return twoDecimals(bytes, kGiga, "GB");
    if (bytes > kMega)
        return twoDecimals(bytes, kMega, "MB");
    if (bytes > kKilo)
        return twoDecimals(bytes, kKilo, "KB");
    return std::to_string(bytes) + " Bytes";
}

std::string FolderPartOf(const std::string& path)
{
    const std::size_t slash = path.rfind(paths::kSeparator);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string CopyFailureText(const std::string& source, const std::string& targetFolder,
                            std::uint64_t freeBytes)
{
    return "Could not backup file: " + source +
           "\r\n\r\nDrive could be full.\r\n\r\nAvailable space on drive " + targetFolder + " " +
           FormatByteSize(freeBytes) + "\r\n\r\nOr try running this application with administrator rights.";
}

std::string CopyFailureText(const std::string& source, const std::string& targetFolder,
                            std::uint64_t freeBytes, const std::string& reason)
{
    std::string text = CopyFailureText(source, targetFolder, freeBytes);
    if (!reason.empty())
        text += "\r\n\r\nReason: " + reason;
    return text;
}

std::string NotBackedUpText(const std::vector<NotBackedUp>& entries, std::size_t total)
{
    std::string text = "These files could not be read and were not backed up:";
    const std::size_t shown = std::min(entries.size(), kMaxNotBackedUpLines);
    for (std::size_t i = 0; i < shown; ++i)
        text += "\r\n" + entries[i].path + ": " + entries[i].reason;
    if (total > shown)
        text += "\r\n... and " + std::to_string(total - shown) + " more";
    return text;
}

std::string OverlapText(const std::string& destination, const std::string& item)
{
    return "The Backup To Folder " + destination + " and the item " + item + " lie inside each other.";
}

std::string MissingDestinationText(const std::string& destination)
{
    if (destination.empty())
        return "Backup To Folder does not exist.";
    return "Backup To Folder " + destination + " does not exist.";
}

std::string DestinationBusyText(const std::string& destination, const std::string& holder)
{
    if (holder == "restore")
        return "A restore from " + destination + " is running.";
    if (holder == "verify")
        return "A verification of " + destination + " is running.";
    return "Another backup into " + destination + " is running.";
}

std::string MissingItemsText(const std::vector<std::string>& items)
{
    std::string text = "These items were not found and were not backed up:";
    for (const std::string& item : items)
        text += "\r\n" + item;
    return text;
}

std::string NotEnoughSpaceLine(std::uint64_t needed, std::uint64_t free, const std::string& destination)
{
    return "This backup needs " + FormatByteSize(needed) + "; " + FormatByteSize(free) + " is free at " +
           destination + ".";
}

std::string NotEnoughSpaceQuestion(std::uint64_t needed, std::uint64_t free, const std::string& destination)
{
    return NotEnoughSpaceLine(needed, free, destination) + "\r\n\r\nStart anyway?";
}

} // namespace stowmere::backup

namespace stowmere::backup {

std::vector<std::string> NotKeptLines(const files::MetadataLoss& loss, const std::string& place)
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
