// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/SftpAccess.h"

#include <map>
#include <mutex>

namespace stowmere::backup {

namespace {

struct Registry {
    std::mutex mutex;
    SftpPrompts prompts;
    std::map<std::string, std::shared_ptr<SftpConnection>> connections;
    SftpConnectFailure lastFailure;
};

Registry& registry()
{
    // Never destroyed: at exit the crypto library may be gone already, and closing a
    // connection then would crash. The system closes the sockets.
    static Registry* instance = new Registry;
    return *instance;
}

/// A wrong passphrase may be typed again, a few times.
constexpr int kPassphraseTries = 3;

} // namespace

void setSftpPrompts(SftpPrompts prompts)
{
    const std::lock_guard guard(registry().mutex);
    registry().prompts = std::move(prompts);
}

SftpConnectFailure lastSftpFailure()
{
    const std::lock_guard guard(registry().mutex);
    return registry().lastFailure;
}

void forgetSftpConnections()
{
    std::map<std::string, std::shared_ptr<SftpConnection>> closing;
    const std::lock_guard guard(registry().mutex);
    closing.swap(registry().connections);
}

std::shared_ptr<SftpConnection> connectSftp(const SftpUrl& url, SftpConnectFailure& failure)
{
    Registry& shared = registry();
    // One connection per user, host and port: the URL without its folder.
    const std::string key = url.user + '@' + url.hostText();
    std::unique_lock guard(shared.mutex);
    if (const auto found = shared.connections.find(key); found != shared.connections.end()) {
        std::shared_ptr<SftpConnection> kept = found->second;
        guard.unlock();
        if (kept->ping())
            return kept;
        guard.lock();
        shared.connections.erase(key);
    }
    const SftpPrompts prompts = shared.prompts;
    // Not held while connecting: a prompt may wait on the window's thread, which may itself
    // be about to reach a server.
    guard.unlock();
    SftpConnectOptions options;
    std::shared_ptr<SftpConnection> connection;
    for (int passphraseTries = 0;;) {
        connection = SftpConnection::open(url, options, failure);
        if (connection)
            break;
        using Kind = SftpConnectFailure::Kind;
        if (failure.kind == Kind::UnknownHost && !options.trustUnknownHost && prompts.trustUnknownHost &&
            prompts.trustUnknownHost(failure)) {
            options.trustUnknownHost = true;
            options.trustedFingerprint = failure.fingerprint;
            continue;
        }
        const bool wrongPassphrase = failure.kind == Kind::LoginRefused && !options.passphrase.empty();
        if ((failure.kind == Kind::KeyNeedsPassphrase || wrongPassphrase) && prompts.passphrase &&
            passphraseTries++ < kPassphraseTries) {
            // The key file is named in the question only when it is known to be the one.
            if (wrongPassphrase && failure.keyFile.empty())
                failure.keyFile = lastSftpFailure().keyFile;
            {
                const std::lock_guard noting(shared.mutex);
                shared.lastFailure = failure;
            }
            if (const auto passphrase = prompts.passphrase(failure)) {
                options.passphrase = *passphrase;
                continue;
            }
        }
        const std::lock_guard noting(shared.mutex);
        shared.lastFailure = failure;
        return nullptr;
    }
    failure = {};
    guard.lock();
    shared.connections[key] = connection;
    return connection;
}

} // namespace stowmere::backup
