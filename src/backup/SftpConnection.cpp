// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/SftpConnection.h"

#include <libssh/libssh.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace stowmere::backup {

namespace sftp {

namespace {

void putU32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    bytes[at] = static_cast<char>(value >> 24);
    bytes[at + 1] = static_cast<char>(value >> 16);
    bytes[at + 2] = static_cast<char>(value >> 8);
    bytes[at + 3] = static_cast<char>(value);
}

std::uint32_t getU32(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

} // namespace

Packet::Packet(Type type, std::uint32_t id)
{
    m_bytes.reserve(64);
    m_bytes.resize(4);
    m_bytes += static_cast<char>(type);
    if (type != Init)
        u32(id);
}

Packet& Packet::u32(std::uint32_t value)
{
    const std::size_t at = m_bytes.size();
    m_bytes.resize(at + 4);
    putU32(m_bytes, at, value);
    return *this;
}

Packet& Packet::u64(std::uint64_t value)
{
    u32(static_cast<std::uint32_t>(value >> 32));
    return u32(static_cast<std::uint32_t>(value));
}

Packet& Packet::text(std::string_view value)
{
    u32(static_cast<std::uint32_t>(value.size()));
    m_bytes += value;
    return *this;
}

Packet& Packet::attributes(const Attributes& value)
{
    u32(value.flags);
    if (value.flags & AttrSize)
        u64(value.size);
    if (value.flags & AttrOwner)
        u32(value.uid).u32(value.gid);
    if (value.flags & AttrPermissions)
        u32(value.permissions);
    if (value.flags & AttrTimes)
        u32(value.accessed).u32(value.modified);
    return *this;
}

char* Packet::data(std::size_t count)
{
    u32(static_cast<std::uint32_t>(count));
    const std::size_t at = m_bytes.size();
    m_bytes.resize(at + count);
    return m_bytes.data() + at;
}

const std::string& Packet::finish()
{
    putU32(m_bytes, 0, static_cast<std::uint32_t>(m_bytes.size() - 4));
    return m_bytes;
}

std::uint32_t Reply::u32()
{
    if (!m_ok || m_body.size() - m_at < 4) {
        m_ok = false;
        return 0;
    }
    const std::uint32_t value = getU32(m_body.data() + m_at);
    m_at += 4;
    return value;
}

std::uint64_t Reply::u64()
{
    const std::uint64_t high = u32();
    return (high << 32) | u32();
}

std::string_view Reply::view()
{
    const std::uint32_t size = u32();
    if (!m_ok || m_body.size() - m_at < size) {
        m_ok = false;
        return {};
    }
    const std::string_view value(m_body.data() + m_at, size);
    m_at += size;
    return value;
}

std::string Reply::text()
{
    return std::string(view());
}

Attributes Reply::attributes()
{
    Attributes value;
    value.flags = u32();
    if (value.flags & AttrSize)
        value.size = u64();
    if (value.flags & AttrOwner) {
        value.uid = u32();
        value.gid = u32();
    }
    if (value.flags & AttrPermissions)
        value.permissions = u32();
    if (value.flags & AttrTimes) {
        value.accessed = u32();
        value.modified = u32();
    }
    if (value.flags & AttrExtended) {
        const std::uint32_t count = u32();
        for (std::uint32_t at = 0; at < count && m_ok; ++at) {
            view();
            view();
        }
    }
    return value;
}

} // namespace sftp

namespace {

/// The largest packet accepted from a server: a READ answer of the size asked for, or a
/// directory listing, is far smaller; anything larger is a broken stream.
constexpr std::uint32_t kMaxPacket = 1U << 20;

void ensureLibraryReady()
{
    static const int ready = ssh_init();
    static_cast<void>(ready);
}

// Failures of a connection carry the library's or the server's own words: each failure is
// kept once, and its code names it while standing for the system error it is closest to.
class ConnectionErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "ssh"; }
    std::string message(int value) const override
    {
        const std::lock_guard guard(m_mutex);
        return value >= 0 && static_cast<std::size_t>(value) < m_failures.size()
                   ? m_failures[static_cast<std::size_t>(value)].first
                   : std::string("connection failed");
    }
    std::error_condition default_error_condition(int value) const noexcept override
    {
        const std::lock_guard guard(m_mutex);
        const int code = value >= 0 && static_cast<std::size_t>(value) < m_failures.size()
                             ? m_failures[static_cast<std::size_t>(value)].second
                             : ECONNRESET;
        return {code, std::generic_category()};
    }
    std::error_code make(std::string text, int code)
    {
        const std::lock_guard guard(m_mutex);
        m_failures.emplace_back(std::move(text), code);
        return {static_cast<int>(m_failures.size() - 1), *this};
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::string, int>> m_failures;
};

ConnectionErrorCategory& connectionErrors()
{
    static ConnectionErrorCategory category;
    return category;
}

bool fileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

std::error_code makeConnectionError(std::string text, int code)
{
    return connectionErrors().make(std::move(text), code);
}

std::string userHomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/";
}

int errnoOfStatus(std::uint32_t status)
{
    switch (status) {
    case sftp::Ok:
        return 0;
    case sftp::Eof:
        return ENODATA;
    case sftp::NoSuchFile:
        return ENOENT;
    case sftp::PermissionDenied:
        return EACCES;
    case sftp::BadMessage:
        return EBADMSG;
    case sftp::NoConnection:
        return ENOTCONN;
    case sftp::ConnectionLost:
        return ECONNRESET;
    case sftp::Unsupported:
        return EOPNOTSUPP;
    default:
        return EIO;
    }
}

struct SftpConnection::Handles {
    ssh_session session = nullptr;
    ssh_channel channel = nullptr;

    ~Handles()
    {
        if (channel) {
            ssh_channel_close(channel);
            ssh_channel_free(channel);
        }
        if (session) {
            ssh_disconnect(session);
            ssh_free(session);
        }
    }
};

SftpConnection::SftpConnection() : m_ssh(std::make_unique<Handles>()) {}

SftpConnection::~SftpConnection() = default;

std::unique_ptr<SftpConnection> SftpConnection::open(const SftpUrl& url, const SftpConnectOptions& options,
                                                     SftpConnectFailure& failure)
{
    using Kind = SftpConnectFailure::Kind;
    failure = {};
    ensureLibraryReady();
    std::unique_ptr<SftpConnection> connection(new SftpConnection());
    ssh_session session = ssh_new();
    if (!session) {
        failure = {Kind::Unreachable, "Cannot start an SSH session (out of memory).", {}, {}, {}};
        return nullptr;
    }
    connection->m_ssh->session = session;

    // Every file is looked for below $HOME, as for the rest of what Stowmere reads; the
    // library's own guess of the home folder would go to the password database first.
    const std::string sshFolder = userHomeFolder() + "/.ssh";
    const std::string knownHosts = sshFolder + "/known_hosts";
    const bool no = false;
    ssh_options_set(session, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(session, SSH_OPTIONS_HOST, url.host.c_str());
    ssh_options_set(session, SSH_OPTIONS_SSH_DIR, sshFolder.c_str());
    ssh_options_set(session, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str());
    for (const std::string& config : {sshFolder + "/config", std::string("/etc/ssh/ssh_config")}) {
        if (fileExists(config))
            ssh_options_parse_config(session, config.c_str());
    }
    // What the URL names wins over the configuration.
    if (!url.user.empty())
        ssh_options_set(session, SSH_OPTIONS_USER, url.user.c_str());
    if (url.port != 0) {
        const unsigned int port = static_cast<unsigned int>(url.port);
        ssh_options_set(session, SSH_OPTIONS_PORT, &port);
    }
    const long timeout = SftpConnection::kNoProgressTimeout.count();
    ssh_options_set(session, SSH_OPTIONS_TIMEOUT, &timeout);
    const int noDelay = 1;
    ssh_options_set(session, SSH_OPTIONS_NODELAY, &noDelay);
    if (const char* ciphers = std::getenv("STOWMERE_SSH_CIPHERS"); ciphers && *ciphers) {
        ssh_options_set(session, SSH_OPTIONS_CIPHERS_C_S, ciphers);
        ssh_options_set(session, SSH_OPTIONS_CIPHERS_S_C, ciphers);
    }

    char* user = nullptr;
    ssh_options_get(session, SSH_OPTIONS_USER, &user);
    const std::string userText = user ? user : "";
    ssh_string_free_char(user);
    connection->m_hostText = (userText.empty() ? "" : userText + "@") + url.hostText();
    const std::string& where = connection->m_hostText;

    if (ssh_connect(session) != SSH_OK) {
        failure = {Kind::Unreachable,
                   "Cannot connect to " + url.hostText() + ": " + ssh_get_error(session) + ".",
                   {},
                   {},
                   {}};
        return nullptr;
    }

    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session, &key) != SSH_OK) {
        failure = {Kind::Unreachable, "The server " + url.hostText() + " showed no host key.", {}, {}, {}};
        return nullptr;
    }
    unsigned char* hash = nullptr;
    std::size_t hashLength = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hashLength) == SSH_OK) {
        char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hashLength);
        connection->m_fingerprint = text ? text : "";
        ssh_string_free_char(text);
        ssh_clean_pubkey_hash(&hash);
    }
    const std::string keyType = ssh_key_type_to_char(ssh_key_type(key));
    ssh_key_free(key);

    switch (ssh_session_is_known_server(session)) {
    case SSH_KNOWN_HOSTS_OK:
        break;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER:
        failure = {Kind::ChangedHost,
                   "WARNING: THE HOST KEY OF " + url.hostText() +
                       " HAS CHANGED. Someone could be eavesdropping on you right now (a "
                       "man-in-the-middle attack), or the host key has just been changed. The " +
                       keyType + " key the server sent has the fingerprint " + connection->m_fingerprint +
                       ". Nothing was written. If the change is expected, remove the old key with "
                       "\"ssh-keygen -R " +
                       url.host + "\" and try again.",
                   keyType,
                   connection->m_fingerprint,
                   {}};
        return nullptr;
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN:
        if (!options.trustUnknownHost || (!options.trustedFingerprint.empty() &&
                                          options.trustedFingerprint != connection->m_fingerprint)) {
            failure = {Kind::UnknownHost,
                       "The authenticity of host " + url.hostText() + " cannot be established. Its " +
                           keyType + " key has the fingerprint " + connection->m_fingerprint + ".",
                       keyType,
                       connection->m_fingerprint,
                       {}};
            return nullptr;
        }
        ::mkdir(sshFolder.c_str(), 0700);
        if (ssh_session_update_known_hosts(session) != SSH_OK) {
            failure = {Kind::Unreachable,
                       "Cannot add the key of " + url.hostText() + " to " + knownHosts + ": " +
                           ssh_get_error(session) + ".",
                       keyType,
                       connection->m_fingerprint,
                       {}};
            return nullptr;
        }
        break;
    case SSH_KNOWN_HOSTS_ERROR:
    default:
        failure = {Kind::Unreachable,
                   "Cannot check the host key of " + url.hostText() + ": " + ssh_get_error(session) + ".",
                   keyType,
                   connection->m_fingerprint,
                   {}};
        return nullptr;
    }

    // The agent first (the library asks it when SSH_AUTH_SOCK is set), then the key files:
    // ~/.ssh/id_ed25519, id_ecdsa, id_rsa and the configuration's IdentityFile.
    int auth = ssh_userauth_none(session, nullptr);
    if (auth != SSH_AUTH_SUCCESS)
        auth = ssh_userauth_publickey_auto(session, nullptr,
                                           options.passphrase.empty() ? nullptr : options.passphrase.c_str());
    if (auth != SSH_AUTH_SUCCESS) {
        if (auth == SSH_AUTH_ERROR) {
            failure = {Kind::Unreachable,
                       "Cannot log in to " + where + ": " + ssh_get_error(session) + ".",
                       {},
                       {},
                       {}};
            return nullptr;
        }
        // An encrypted key that no agent holds could not be tried.
        if (options.passphrase.empty()) {
            for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
                const std::string file = sshFolder + "/" + name;
                if (!fileExists(file))
                    continue;
                ssh_key privateKey = nullptr;
                const int imported =
                    ssh_pki_import_privkey_file(file.c_str(), nullptr, nullptr, nullptr, &privateKey);
                ssh_key_free(privateKey);
                if (imported == SSH_ERROR) {
                    std::string message = "The key " + file;
                    message += " for " + where;
                    message += " is protected by a passphrase. Load it into the agent with \"ssh-add " + file;
                    message += "\" and try again.";
                    failure = {Kind::KeyNeedsPassphrase, std::move(message), {}, {}, file};
                    return nullptr;
                }
            }
        }
        failure = {Kind::LoginRefused,
                   "The server " + where +
                       " refused the login: none of the keys of ssh-agent or ~/.ssh was accepted (passwords "
                       "are never used).",
                   {},
                   {},
                   {}};
        return nullptr;
    }

    std::string why;
    if (connection->startSftp(why)) {
        failure = {Kind::Unreachable, "Cannot start SFTP on " + where + ": " + why + ".", {}, {}, {}};
        return nullptr;
    }
    return connection;
}

std::error_code SftpConnection::startSftp(std::string& why)
{
    ssh_session session = m_ssh->session;
    m_socket = ssh_get_fd(session);
    m_ssh->channel = ssh_channel_new(session);
    if (!m_ssh->channel || ssh_channel_open_session(m_ssh->channel) != SSH_OK ||
        ssh_channel_request_subsystem(m_ssh->channel, "sftp") != SSH_OK) {
        why = ssh_get_error(session);
        return std::make_error_code(std::errc::protocol_error);
    }
    m_lastProgress = std::chrono::steady_clock::now();
    sftp::Packet init(sftp::Init, 0);
    init.u32(3);
    if (const std::error_code error = send(init)) {
        why = failure();
        return error;
    }
    // The answer to INIT carries no id; the reader files it under 0.
    sftp::Reply version = wait(0);
    if (version.type() != sftp::Version) {
        why = version.type() == 0 ? failure() : "the server does not speak SFTP";
        return std::make_error_code(std::errc::protocol_error);
    }
    if (version.u32() != 3) {
        why = "the server speaks another SFTP version than 3";
        return std::make_error_code(std::errc::protocol_error);
    }
    for (;;) {
        std::string name = version.text();
        std::string data = version.text();
        if (!version.ok())
            break;
        m_extensions.emplace(std::move(name), std::move(data));
    }
    return {};
}

bool SftpConnection::supports(std::string_view extension) const
{
    return m_extensions.find(extension) != m_extensions.end();
}

std::uint32_t SftpConnection::nextId()
{
    const std::lock_guard state(m_stateMutex);
    const std::uint32_t id = m_nextId++;
    if (m_nextId == 0)
        m_nextId = 1;
    return id;
}

std::error_code SftpConnection::send(sftp::Packet& packet)
{
    if (const std::error_code error = queue(packet))
        return error;
    return flush();
}

std::error_code SftpConnection::queue(sftp::Packet& packet)
{
    // Enough to fill several SSH packets, few enough that the server starts on them soon.
    constexpr std::size_t kHeldBytes = std::size_t{128} * 1024;
    const std::string& bytes = packet.finish();
    {
        const std::lock_guard state(m_stateMutex);
        if (m_failureCode)
            return m_failureCode;
        if (m_outstanding++ == 0)
            m_lastProgress = std::chrono::steady_clock::now();
    }
    const std::lock_guard io(m_ioMutex);
    m_outgoing += bytes;
    return m_outgoing.size() >= kHeldBytes ? writeHeld() : std::error_code();
}

std::error_code SftpConnection::flush()
{
    const std::lock_guard io(m_ioMutex);
    return writeHeld();
}

std::error_code SftpConnection::writeHeld()
{
    if (m_outgoing.empty())
        return {};
    const std::size_t size = m_outgoing.size();
    {
        const std::lock_guard state(m_stateMutex);
        if (m_failureCode) {
            m_outgoing.clear();
            return m_failureCode;
        }
    }
    const int written =
        ssh_channel_write(m_ssh->channel, m_outgoing.data(), static_cast<std::uint32_t>(size));
    m_outgoing.clear();
    if (written == static_cast<int>(size))
        return {};
    const std::string why = ssh_get_error(m_ssh->session);
    fail(std::make_error_code(std::errc::connection_reset), why.empty() ? "the connection was lost" : why);
    return failureCode();
}

sftp::Reply SftpConnection::call(sftp::Packet& packet, std::uint32_t id)
{
    if (send(packet))
        return {};
    return wait(id);
}

void SftpConnection::discard(std::uint32_t id)
{
    const std::lock_guard state(m_stateMutex);
    if (m_replies.erase(id) == 0 && !m_failureCode)
        m_discarded.insert(id);
}

sftp::Reply SftpConnection::wait(std::uint32_t id)
{
    // An error here is the connection's failure, which the wait finds below.
    static_cast<void>(flush());
    std::unique_lock state(m_stateMutex);
    for (;;) {
        if (const auto found = m_replies.find(id); found != m_replies.end()) {
            sftp::Reply reply = std::move(found->second);
            m_replies.erase(found);
            return reply;
        }
        if (m_failureCode)
            return {};
        if (!m_reading) {
            m_reading = true;
            state.unlock();
            const bool arrived = receiveSome();
            state.lock();
            m_reading = false;
            // Those waiting look again only when there is something to find: this thread
            // reads on until its own answer is among what came, and then wakes them all.
            if (arrived || m_failureCode)
                m_arrived.notify_all();
            continue;
        }
        m_arrived.wait(state);
    }
}

bool SftpConnection::receiveSome()
{
    std::array<char, std::size_t{256} * 1024> buffer; // NOLINT(cppcoreguidelines-pro-type-member-init)
    int got = 0;
    bool eof = false;
    std::string why;
    const auto readWaiting = [&] {
        const std::lock_guard io(m_ioMutex);
        got = ssh_channel_read_nonblocking(m_ssh->channel, buffer.data(), buffer.size(), 0);
        if (got < 0)
            why = ssh_get_error(m_ssh->session);
        else if (got == 0)
            eof = ssh_channel_is_eof(m_ssh->channel) != 0 || ssh_channel_is_closed(m_ssh->channel) != 0;
    };
    // What the session holds already (a write may have read it in), else what the socket
    // brings. The socket is waited for without holding the session, so that the other
    // threads send their requests meanwhile; briefly, since a write of theirs may take
    // in the answers while this one waits.
    readWaiting();
    if (got == 0 && !eof) {
        pollfd socket{m_socket, POLLIN, 0};
        ::poll(&socket, 1, 2);
        readWaiting();
    }
    const auto now = std::chrono::steady_clock::now();
    if (got < 0 || eof) {
        fail(std::make_error_code(std::errc::connection_reset),
             why.empty() ? std::string("the server closed the connection") : why);
        return false;
    }
    if (got == 0) {
        bool stalled = false;
        {
            const std::lock_guard state(m_stateMutex);
            stalled = m_outstanding > 0 && now - m_lastProgress > kNoProgressTimeout;
        }
        if (stalled)
            fail(std::make_error_code(std::errc::timed_out), "no answer from the server for 30 seconds");
        return false;
    }
    m_incoming.append(buffer.data(), static_cast<std::size_t>(got));
    std::size_t at = 0;
    std::vector<std::pair<std::uint32_t, sftp::Reply>> arrived;
    while (m_incoming.size() - at >= 5) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(m_incoming.data() + at);
        const std::uint32_t length = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                     (std::uint32_t{bytes[2]} << 8) | bytes[3];
        if (length < 1 || length > kMaxPacket) {
            fail(std::make_error_code(std::errc::protocol_error), "the server sent a malformed SFTP packet");
            return false;
        }
        if (m_incoming.size() - at - 4 < length)
            break;
        const std::uint8_t type = bytes[4];
        sftp::Reply reply(type, m_incoming.substr(at + 5, length - 1));
        std::uint32_t id = 0;
        if (type != sftp::Version)
            id = reply.u32();
        arrived.emplace_back(id, std::move(reply));
        at += 4 + length;
    }
    m_incoming.erase(0, at);
    const std::lock_guard state(m_stateMutex);
    m_lastProgress = now;
    for (auto& [id, reply] : arrived) {
        if (m_outstanding > 0)
            --m_outstanding;
        if (m_discarded.erase(id) == 0)
            m_replies.insert_or_assign(id, std::move(reply));
    }
    return !arrived.empty();
}

void SftpConnection::fail(std::error_code code, std::string why)
{
    const std::lock_guard state(m_stateMutex);
    if (m_failureCode)
        return;
    m_failure = std::move(why);
    m_failureCode = connectionErrors().make(m_hostText + ": " + m_failure, code.value());
    m_arrived.notify_all();
}

bool SftpConnection::ping()
{
    const std::uint32_t id = nextId();
    sftp::Packet packet(sftp::Stat, id);
    packet.text("/");
    return call(packet, id).type() != 0;
}

void SftpConnection::keepAlive()
{
    {
        const std::lock_guard state(m_stateMutex);
        if (m_failureCode)
            return;
    }
    const std::lock_guard io(m_ioMutex);
    ssh_send_ignore(m_ssh->session, "");
}

std::string SftpConnection::failure() const
{
    const std::lock_guard state(m_stateMutex);
    return m_failure;
}

std::error_code SftpConnection::failureCode() const
{
    const std::lock_guard state(m_stateMutex);
    return m_failureCode;
}

} // namespace stowmere::backup
