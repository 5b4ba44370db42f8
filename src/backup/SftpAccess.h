// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/SftpConnection.h"
#include "backup/SftpUrl.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace stowmere::backup {

/// What a front end asks its user while a server is reached. Unset, the question is
/// answered no: the command line refuses and says how to settle it.
struct SftpPrompts {
    /// An unknown host: whether to trust its key (failure carries type and fingerprint).
    std::function<bool(const SftpConnectFailure& failure)> trustUnknownHost;
    /// An encrypted key file: its passphrase, used for this connection only; none to give up.
    std::function<std::optional<std::string>(const SftpConnectFailure& failure)> passphrase;
};

/// Sets the prompts of this process (the window's dialogs).
void setSftpPrompts(SftpPrompts prompts);

/// A connection to the server of url, shared by every destination of the process that
/// goes there: a run's checks, the run and its history reach the server once, and a user
/// is asked about a host or a passphrase once. A kept connection that no longer answers
/// is replaced. None when no connection can be made; failure says why.
std::shared_ptr<SftpConnection> connectSftp(const SftpUrl& url, SftpConnectFailure& failure);

/// How the last failed attempt of this process to reach a server failed (Kind::None when
/// none failed), so that a front end can add what the user may do about it.
SftpConnectFailure lastSftpFailure();

/// Closes every kept connection.
void forgetSftpConnections();

} // namespace stowmere::backup
