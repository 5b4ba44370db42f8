// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TrustHostCommand.h"

#include "backup/SftpConnection.h"
#include "backup/SftpUrl.h"
#include "catalog/Errors.h"
#include "cli/ProgressPrinter.h"
#include "platform/Translation.h"

#include <string>

namespace stowmere::cli {

using backup::SftpConnectFailure;

ExitCode TrustHostCommand::run(const catalog::BackupSet& set, const CommandLine& line)
{
    std::string problem;
    const auto url = backup::parseSftpUrl(set.destination, problem);
    if (!url)
        throw catalog::RuleRefusal(
            translation::format(_("The Backup To Folder of set %d, %s, is not a folder on a server "
                                  "(sftp://[user@]host[:port]/path)"),
                                set.number, ProgressPrinter::escapeControl(set.destination)) +
            (backup::isSftpUrl(set.destination) ? ": " + problem : std::string()));
    SftpConnectFailure failure;
    auto connection = backup::SftpConnection::open(*url, {}, failure);
    using Kind = SftpConnectFailure::Kind;
    switch (failure.kind) {
    case Kind::None:
    case Kind::LoginRefused:
    case Kind::KeyNeedsPassphrase:
        // The host key was checked before the login was tried.
        if (connection)
            m_out << translation::format(_("The host key of %s is known already (%s).\n"), url->hostText(),
                                         connection->hostKeyFingerprint());
        else
            m_out << translation::format(_("The host key of %s is known already.\n"), url->hostText());
        if (failure.kind != Kind::None)
            m_err << translation::format(_("stowmere-cli: note: %s"), failure.message) << '\n';
        return ExitCode::Success;
    case Kind::ChangedHost:
        m_err << failure.message << '\n';
        return ExitCode::NotStarted;
    case Kind::Unreachable:
        throw catalog::RuleRefusal(failure.message);
    case Kind::UnknownHost:
        break;
    }
    const std::string keyFile = std::string("/etc/ssh/ssh_host_") +
                                (failure.keyType == "ssh-ed25519" ? "ed25519" : "ecdsa") + "_key.pub";
    m_out << translation::format(
        _("The host %s presents a %s key with the fingerprint\n  %s\nCompare it with the "
          "one the server's owner gives you (on the server: ssh-keygen -lf %s).\n"),
        url->hostText(), failure.keyType, failure.fingerprint, keyFile);
    if (!line.yes) {
        // TRANSLATORS: the answer stays y or yes in every language.
        m_out << _("Trust this key and add it to ~/.ssh/known_hosts? [y/N] ") << std::flush;
        std::string answer;
        std::getline(m_in, answer);
        if (answer != "y" && answer != "Y" && answer != "yes" && answer != "Yes") {
            m_out << _("Nothing was changed.\n");
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
        m_err << _("stowmere-cli: the host answered with another key the second time; check known_hosts.\n");
        return ExitCode::NotStarted;
    }
    m_out << translation::format(_("Added the key of %s to ~/.ssh/known_hosts.\n"), url->hostText());
    if (failure.kind != Kind::None)
        m_err << translation::format(_("stowmere-cli: note: %s"), failure.message) << '\n';
    return ExitCode::Success;
}

} // namespace stowmere::cli
