// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Metadata.h"

#include <cstdint>
#include <string>
#include <vector>

namespace stowmere::backup {

/// Bytes available to the user on the volume holding the folder; 0 when unknown.
std::uint64_t freeSpaceOf(const std::string& folder);

/// "#0 Bytes" up to 1024, then "#0.00 KB", "#0.00 MB", "#0.00 GB", each unit taken only
/// above its own size (1024 is "1024 Bytes", 1025 "1.00 KB"). The decimal separator is
/// that of the C library's current numeric locale.
std::string formatByteSize(std::uint64_t bytes);

/// The folder part of a path up to and including its last separator ("" when none).
std::string folderPartOf(const std::string& path);

/// The seven-line text of the box shown when a file could not be copied.
std::string copyFailureText(const std::string& source, const std::string& targetFolder,
                            std::uint64_t freeBytes);

/// The same box with the system's reason on a line of its own at the end ("Reason: ...");
/// without a reason it is the seven-line box.
std::string copyFailureText(const std::string& source, const std::string& targetFolder,
                            std::uint64_t freeBytes, const std::string& reason);

/// The text of the box that lists checked items found neither as file nor as folder.
std::string missingItemsText(const std::vector<std::string>& items);

/// Lines of the not-read box shown at most; the rest are counted on one more line.
inline constexpr std::size_t kMaxNotBackedUpLines = 50;

struct NotBackedUp;

/// The text of the information box that lists what could not be read: one "path: reason"
/// line each, at most kMaxNotBackedUpLines, then "... and N more" for the rest of total.
std::string notBackedUpText(const std::vector<NotBackedUp>& entries, std::size_t total);

/// "The Backup To Folder %s and the item %s lie inside each other."
/// One line for each part of the copies' metadata that the place written could not hold
/// (owners, extended attributes, ACLs), naming the place and the system's reason; told once
/// a run rather than for every file.
std::vector<std::string> notKeptLines(const files::MetadataLoss& loss, const std::string& place);

std::string overlapText(const std::string& destination, const std::string& item);

/// "This backup needs %s; %s is free at %s." with the sizes as formatByteSize writes them.
std::string notEnoughSpaceLine(std::uint64_t needed, std::uint64_t free, const std::string& destination);

/// The question asked before a run whose copies do not fit: the line above, then
/// "Start anyway?", lines separated by "\r\n".
std::string notEnoughSpaceQuestion(std::uint64_t needed, std::uint64_t free, const std::string& destination);

/// "Backup To Folder %s does not exist.", the folder left out when none was given.
std::string missingDestinationText(const std::string& destination);

/// "Another backup into %s is running.", or "A restore from %s is running." when holder
/// (the word the lock's holder recorded) is "restore", "A verification of %s is running."
/// when it is "verify".
std::string destinationBusyText(const std::string& destination, const std::string& holder = "backup");

} // namespace stowmere::backup
