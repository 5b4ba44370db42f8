// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/TempFolder.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace stowmere::testing {

/// A real SSH server for the tests of the SFTP destination, on 127.0.0.1 and a free port,
/// with host and user keys made for it in a temporary folder. Either OpenSSH's sshd, told
/// everything on its command line so that no system configuration matters, or rclone's
/// SFTP server over a local folder. The user's side is a home folder of its own
/// (home(): ".ssh" with the user key) that a test puts in $HOME. The server ends when the
/// object goes.
class TestSshServer {
public:
    enum class Kind { OpenSsh, Rclone };

    explicit TestSshServer(Kind kind = Kind::OpenSsh, const std::string& rcloneRoot = {});
    ~TestSshServer();
    TestSshServer(const TestSshServer&) = delete;
    TestSshServer& operator=(const TestSshServer&) = delete;

    /// The server shared by the tests of one executable, started when first asked for.
    static TestSshServer& shared();

    bool running() const { return m_pid > 0; }
    /// Why it is not running.
    const std::string& why() const { return m_why; }
    int port() const { return m_port; }
    /// The user name to log in as (the user running the tests).
    const std::string& user() const { return m_user; }
    /// "sftp://user@127.0.0.1:port" + path.
    std::string url(const std::string& path) const;
    /// The home folder of the client side.
    std::string home() const { return (m_folder.path() / "home").string(); }
    /// The host's public key line ("ssh-ed25519 AAAA...").
    const std::string& hostKey() const { return m_hostKey; }
    /// The SHA256: fingerprint of the host key, as ssh-keygen tells it.
    const std::string& hostFingerprint() const { return m_hostFingerprint; }

    /// Writes home()/.ssh/known_hosts with the host's key (hashed when asked), or with
    /// another key for the same host, or removes it.
    enum class Known { Nothing, Key, HashedKey, OtherKey };
    void setKnown(Known known) const;
    /// Replaces the user key by one protected by passphrase (empty: none).
    void setUserKeyPassphrase(const std::string& passphrase) const;

    /// Kills the server's per-connection processes, as a dropped network would end the
    /// connections; the server goes on taking new ones.
    void dropConnections() const;

private:
    void startOpenSsh();
    void startRclone(const std::string& root);
    bool waitForPort();

    TempFolder m_folder{"sshd"};
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_user;
    std::string m_hostKey;
    std::string m_hostFingerprint;
    std::string m_why;
};

/// Runs a command line through /bin/sh and returns its standard output (its exit status
/// in status).
std::string runShell(const std::string& command, int* status = nullptr);

} // namespace stowmere::testing
