// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/SftpUrl.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

namespace stowmere::backup {

/// SFTP (version 3, as OpenSSH and rclone speak it): packet types, flags and status codes.
namespace sftp {
enum Type : std::uint8_t {
    Init = 1,
    Version = 2,
    Open = 3,
    Close = 4,
    Read = 5,
    Write = 6,
    Lstat = 7,
    Fstat = 8,
    Setstat = 9,
    Fsetstat = 10,
    Opendir = 11,
    Readdir = 12,
    Remove = 13,
    Mkdir = 14,
    Rmdir = 15,
    Realpath = 16,
    Stat = 17,
    Rename = 18,
    Readlink = 19,
    Symlink = 20,
    Status = 101,
    Handle = 102,
    Data = 103,
    Name = 104,
    Attrs = 105,
    Extended = 200,
    ExtendedReply = 201,
};
enum OpenFlag : std::uint32_t {
    OpenRead = 1,
    OpenWrite = 2,
    OpenCreate = 8,
    OpenTruncate = 0x10,
    OpenExclusive = 0x20
};
enum AttrFlag : std::uint32_t {
    AttrSize = 1,
    AttrOwner = 2,
    AttrPermissions = 4,
    AttrTimes = 8,
    AttrExtended = 0x80000000
};
enum StatusCode : std::uint32_t {
    Ok = 0,
    Eof = 1,
    NoSuchFile = 2,
    PermissionDenied = 3,
    Failure = 4,
    BadMessage = 5,
    NoConnection = 6,
    ConnectionLost = 7,
    Unsupported = 8,
};

struct Attributes {
    std::uint32_t flags = 0;
    std::uint64_t size = 0;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::uint32_t permissions = 0; ///< with the kind bits (S_IFMT) where the server sends them
    std::uint32_t accessed = 0;
    std::uint32_t modified = 0;
};

/// A request being put together: the length is filled in by finish().
class Packet {
public:
    Packet(Type type, std::uint32_t id);
    Packet& u32(std::uint32_t value);
    Packet& u64(std::uint64_t value);
    Packet& text(std::string_view value);
    Packet& attributes(const Attributes& value);
    /// Room for count bytes of data appended as a string, returned for the caller to fill.
    char* data(std::size_t count);
    const std::string& finish();

private:
    std::string m_bytes;
};

/// An answer, read field by field; a field beyond its end leaves ok() false.
class Reply {
public:
    Reply() = default;
    Reply(std::uint8_t type, std::string body) : m_type(type), m_body(std::move(body)) {}

    std::uint8_t type() const { return m_type; }
    bool ok() const { return m_ok; }
    std::uint32_t u32();
    std::uint64_t u64();
    std::string text();
    std::string_view view();
    Attributes attributes();

private:
    std::uint8_t m_type = 0; ///< 0: no answer (the connection failed)
    std::string m_body;
    std::size_t m_at = 0;
    bool m_ok = true;
};
} // namespace sftp

/// What connecting needs beyond the URL.
struct SftpConnectOptions {
    /// The passphrase of an encrypted key, asked of the user for this connection only.
    std::string passphrase;
    /// Adds the host's key to ~/.ssh/known_hosts when the host is unknown (the user has
    /// seen its fingerprint and said yes).
    bool trustUnknownHost = false;
    /// With trustUnknownHost: the fingerprint the user was shown; another key is not added.
    std::string trustedFingerprint;
};

/// Why a connection could not be made, with what the user needs to decide.
struct SftpConnectFailure {
    enum class Kind {
        None,
        Unreachable,       ///< the host name, the network or the SSH handshake failed
        UnknownHost,       ///< the host's key is in no known_hosts file
        ChangedHost,       ///< the host's key differs from the one known for it
        LoginRefused,      ///< no key was accepted
        KeyNeedsPassphrase ///< a key file is encrypted and no agent holds it
    };
    Kind kind = Kind::None;
    std::string message;     ///< complete, names the host
    std::string keyType;     ///< the host key's type ("ssh-ed25519")
    std::string fingerprint; ///< "SHA256:..." of the host key
    std::string keyFile;     ///< with KeyNeedsPassphrase: the encrypted key file
};

/// One SSH connection to a server and its SFTP channel. Requests are sent at once and
/// their answers waited for later, by id, so that many can be in flight; any number of
/// threads may send and wait at the same time. A connection that fails or gives no
/// answer for kNoProgressTimeout fails every request from then on.
class SftpConnection {
public:
    static constexpr std::chrono::seconds kNoProgressTimeout{30};

    ~SftpConnection();
    SftpConnection(const SftpConnection&) = delete;
    SftpConnection& operator=(const SftpConnection&) = delete;

    /// Connects, checks the host's key, logs in with the agent's or the user's keys and
    /// starts SFTP. None on failure, which failure describes.
    static std::unique_ptr<SftpConnection> open(const SftpUrl& url, const SftpConnectOptions& options,
                                                SftpConnectFailure& failure);

    /// The host as connected to ("user@host:port"), for messages.
    const std::string& hostText() const { return m_hostText; }
    /// "SHA256:..." of the server's host key.
    const std::string& hostKeyFingerprint() const { return m_fingerprint; }
    /// Whether the server offers an extension (posix-rename@openssh.com, ...).
    bool supports(std::string_view extension) const;

    std::uint32_t nextId();
    /// Sends a finished packet; an error once the connection has failed.
    std::error_code send(sftp::Packet& packet);
    /// Holds a finished packet back to go out with others: many small requests then travel
    /// in one SSH packet, encrypted once. It goes out with the next flush, with any wait,
    /// or once enough is held.
    std::error_code queue(sftp::Packet& packet);
    /// Sends what queue held back.
    std::error_code flush();
    /// Waits for the answer to the request id (type 0 when the connection failed); sends
    /// what is held back first.
    sftp::Reply wait(std::uint32_t id);
    /// Sends and waits.
    sftp::Reply call(sftp::Packet& packet, std::uint32_t id);
    /// Nobody waits for the answer to the request id: it is dropped when it comes.
    void discard(std::uint32_t id);
    /// Whether the server still answers (one round trip).
    bool ping();
    /// Sends nothing anyone waits for, so that an idle connection stays open through
    /// firewalls and a dead one is noticed.
    void keepAlive();

    /// Why the connection failed; empty while it works.
    std::string failure() const;
    std::error_code failureCode() const;

private:
    struct Handles;
    SftpConnection();
    /// Reads what has come, for a moment at most; whether whole answers came with it.
    bool receiveSome();
    void fail(std::error_code code, std::string why);
    std::error_code startSftp(std::string& why);

    std::unique_ptr<Handles> m_ssh;
    std::string m_hostText;
    std::string m_fingerprint;
    std::map<std::string, std::string, std::less<>> m_extensions;

    std::mutex m_ioMutex; ///< the SSH session: one reader or writer at a time
    mutable std::mutex m_stateMutex;
    std::condition_variable m_arrived;
    std::map<std::uint32_t, sftp::Reply> m_replies;
    std::unordered_set<std::uint32_t> m_discarded; ///< answers nobody waits for, not come yet
    bool m_reading = false;
    int m_socket = -1; ///< the session's socket, waited on without holding the session
    std::uint32_t m_nextId = 1;
    std::size_t m_outstanding = 0;
    std::chrono::steady_clock::time_point m_lastProgress;
    std::error_code m_failureCode;
    std::string m_failure;
    std::string m_incoming; ///< bytes read and not yet a whole packet (the reader's alone)
    std::string m_outgoing; ///< requests held back to go out together (under m_ioMutex)
    /// Writes m_outgoing; m_ioMutex is held.
    std::error_code writeHeld();
};

/// An error that reads as text (a server's or the library's words) and compares equal to
/// the system error code.
std::error_code makeConnectionError(std::string text, int code);

/// The errno that best tells an SFTP status code.
int errnoOfStatus(std::uint32_t status);

/// $HOME, or the password database's home folder when it is unset.
std::string userHomeFolder();

} // namespace stowmere::backup
