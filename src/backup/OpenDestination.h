// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "platform/FileSystemIdentity.h"

#include <memory>
#include <string>
#include <system_error>

namespace stowmere::backup {

/// Opens the destination a set names in its "Backup To Folder": the one place that tells
/// which kind of destination a location is. None when it cannot be reached; error says why.
/// A location of the form sftp://[user@]host[:port]/path is a folder on a server; the
/// error then reads as the whole reason (the host, the folder, the server's words), and is
/// ENOENT when the server was reached and the folder is not there.
std::unique_ptr<Destination> openDestination(const std::string& location, std::error_code& error);

/// Whether a location names a folder on a server rather than one on this machine.
bool isRemoteLocation(const std::string& location);

/// What the drive guard recognises a destination by: its file system, or for a server
/// its host key and the file system of its folder. None when it cannot be told; error says
/// why.
std::optional<files::FileSystemIdentity> identifyDestination(const std::string& location, std::string& error);

} // namespace stowmere::backup
