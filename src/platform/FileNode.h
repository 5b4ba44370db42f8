// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileCopier.h"
#include "platform/Metadata.h"

#include <string>
#include <sys/stat.h>

namespace stowmere::files {

/// Whether the type bits (S_IFMT) are those of a FIFO, a socket or a device node: an entry
/// that holds no data of its own and that nothing may open (a FIFO blocks its reader).
bool isSpecialFormat(mode_t format);

/// Whether the type bits are those of a character or block device.
bool isDeviceFormat(mode_t format);

/// The word for a special file's kind: "fifo", "socket", "character device",
/// "block device"; "special" for anything else.
const char* specialKindWord(mode_t format);

/// Whether this process may make device nodes (it holds CAP_MKNOD, as root does).
bool mayMakeDevices();

/// Makes the FIFO or device node source describes as the entry name of the open folder
/// folderFd: under a temporary name in temporaryFolderFd first (a folder on the same file
/// system), with source's owner and group (as far as the process may give them),
/// attributes, bits and times, then under name. Something standing there is handed to
/// beforeReplace first, as a copy does. Nothing is ever opened.
CopyOutcome makeSpecialAt(int folderFd, const std::string& name, int temporaryFolderFd,
                          const struct stat& source, const Metadata& metadata,
                          const FileCopier::BeforeReplace& beforeReplace);

} // namespace stowmere::files
