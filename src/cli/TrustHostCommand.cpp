// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TrustHostCommand.h"

#include "backup/SftpConnection.h"
#include "backup/SftpUrl.h"
#include "catalog/Errors.h"
#include "cli/ProgressPrinter.h"

#include <string>

namespace stowmere::cli {

using backup::SftpConnectFailure;

ExitCode TrustHostCommand::run(const catalog::BackupSet& set, const CommandLine& line)
{
    std::string problem;
    const auto url = backup::parseSftpUrl(set.destination, problem);
    if (!url)
        throw catalog::RuleRefusal("The Backup To Folder of set " + std::to_string(set.number) + ", " +
                                   ProgressPrinter::escapeControl(set.destination) +
                                   ", is not a folder on a server (sftp://[user@]host[:port]/path)" +
                                   (backup::isSftpUrl(set.destination) ? ": " + problem : std::string()));
    SftpConnectFailure failure;
    auto connection = backup::SftpConnection::open(*url, {}, failure);
    using Kind = SftpConnectFailure::Kind;
    switch (failure.kind) {
    case Kind::None:
    case Kind::LoginRefused:
    case Kind::KeyNeedsPassphrase:
        // The host key was checked before the login was tried.
        m_out << "The host key of " << url->hostText() << " is known already";
        if (connection)
            m_out << " (" << connection->hostKeyFingerprint() << ")";
        m_out << ".\n";
        if (failure.kind != Kind::None)
            m_err << "stowmere-cli: note: " << failure.message << '\n';
        return ExitCode::Success;
    case Kind::ChangedHost:
        m_err << failure.message << '\n';
        return ExitCode::NotStarted;
    case Kind::Unreachable:
        throw catalog::RuleRefusal(failure.message);
    case Kind::UnknownHost:
        break;
    }
    m_out << "The host " << url->hostText() << " presents a " << failure.keyType
          << " key with the fingerprint\n  " << failure.fingerprint
          << "\nCompare it with the one the server's owner gives you (on the server: "
          << "ssh-keygen -lf /etc/ssh/ssh_host_" << (failure.keyType == "ssh-ed25519" ? "ed25519" : "ecdsa")
          << "_key.pub).\n";
    if (!line.yes) {
        m_out << "Trust this key and add it to ~/.ssh/known_hosts? [y/N] " << std::flush;
        std::string answer;
        std::getline(m_in, answer);
        if (answer != "y" && answer != "Y" && answer != "yes" && answer != "Yes") {
            m_out << "Nothing was changed.\n";
            return ExitCode::NotStarted;
        }
    }
    backup::SftpConnectOptions options;
    options.trustUnknownHost = true;
    const std::string shown = failure.fingerprint;
    connection = backup::SftpConnection::open(*url, options, failure);
    if (failure.kind == Kind::UnknownHost || failure.kind == Kind::ChangedHost ||
        failure.kind == Kind::Unreachable) {
        m_err << failure.message << '\n';
        return ExitCode::NotStarted;
    }
    if (connection && connection->hostKeyFingerprint() != shown) {
        // Another key answered the second time: whatever was added is not what was shown.
        m_err << "stowmere-cli: the host answered with another key the second time; check known_hosts.\n";
        return ExitCode::NotStarted;
    }
    m_out << "Added the key of " << url->hostText() << " to ~/.ssh/known_hosts.\n";
    if (failure.kind != Kind::None)
        m_err << "stowmere-cli: note: " << failure.message << '\n';
    return ExitCode::Success;
}

} // namespace stowmere::cli
