// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "backup/SftpConnection.h"
#include "backup/SftpUrl.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace stowmere::backup {

/// A destination folder on a server, written over SFTP. Every request is sent as soon as
/// it is known and its answer waited for only when needed: a file's data goes out in many
/// writes at once, and many files are on their way together.
///
/// A copy is written under a temporary name (".stowmere-tmp-" and eight letters) in the
/// destination's own folder for copies under way, once a run has made it (else beside its
/// target), and takes its name with posix-rename@openssh.com, which replaces the old
/// copy in one step. A server without that extension (rclone, some appliances) can only
/// rename onto a free name: the old copy is then removed (or moved into the versions)
/// just before the rename, and for that moment the name is missing, never partial.
///
/// Names are resolved by the server, which follows links: every folder is checked with
/// LSTAT when it is opened and every link found where a folder or the lock belongs is
/// refused, so a link planted before a run leads nowhere. A link swapped in on the server
/// while a run is under way cannot be excluded by SFTP itself.
class SftpDestination : public Destination {
public:
    /// How long the run lock stays fresh without being refreshed, and how often it is.
    static constexpr std::chrono::seconds kLockStaleAfter{120};
    static constexpr std::chrono::seconds kLockRefreshEvery{30};

    /// Connects and opens the folder. None when it cannot: failure tells why (with the
    /// host key to show when the host is unknown); a folder that is not there on a server
    /// that was reached gives error ENOENT.
    static std::unique_ptr<SftpDestination> open(const SftpUrl& url, const SftpConnectOptions& options,
                                                 SftpConnectFailure& failure, std::error_code& error);
    /// The same over a connection made already.
    static std::unique_ptr<SftpDestination>
    open(const SftpUrl& url, std::shared_ptr<SftpConnection> connection, std::error_code& error);

    ~SftpDestination() override;

    const SftpUrl& url() const { return m_url; }
    SftpConnection& connection() { return *m_connection; }

    const std::string& location() const override { return m_location; }

    FolderHandle root() override { return m_root; }
    FolderHandle openFolder(std::string_view relative, std::error_code& error) override;
    FolderHandle openFolder(const FolderHandle& parent, const std::string& name,
                            std::error_code& error) override;
    /// A folder that is surely missing (the folder holding it was made by this run, or the
    /// server said it was not there) is asked for without waiting for the answer: created
    /// is true, and whatever later needs the folder waits for that answer first, failing
    /// with the folder's own error where it could not be made.
    FolderHandle makeFolder(const FolderHandle& parent, const std::string& name, mode_t mode, bool& created,
                            std::error_code& error) override;
    std::error_code awaitFolder(std::string_view relative, std::string& failed) override;
    /// Lists the folder; the folders in it are then known, and the walk's look at each of
    /// them takes what the listing told.
    std::vector<DestinationEntry> list(const FolderHandle& folder, std::error_code& error) override;
    /// SFTP tells no device and inode numbers.
    bool tellsIdentities() const override { return false; }
    DestinationEntry status(const FolderHandle& folder, const std::string& name) override;
    DestinationEntry status(const FolderHandle& folder) override;
    std::optional<std::string> readLink(const FolderHandle& folder, const std::string& name,
                                        std::error_code& error) override;
    files::UniqueFd openFile(const FolderHandle& folder, const std::string& name,
                             std::error_code& error) override;

    std::unique_ptr<DestinationWriter> writer() override;
    std::error_code setMode(const FolderHandle& folder, const std::string& name, mode_t mode) override;
    std::error_code setMode(const FolderHandle& folder, mode_t mode) override;
    /// Owner and group through SETSTAT, which a server grants a login that may change
    /// them (root's); extended attributes and ACLs have no place in SFTP version 3.
    files::MetadataLoss setMetadata(const FolderHandle& folder, const std::string& name,
                                    const files::Metadata& metadata) override;
    files::MetadataLoss setMetadata(const FolderHandle& folder, const files::Metadata& metadata) override;
    std::error_code setTimes(const FolderHandle& folder, const std::string& name, const timespec& accessed,
                             const timespec& modified) override;
    /// Folders of one depth get their owners, bits and times in one round trip (two where
    /// the owner goes first, or was refused), after a look at those not seen to be folders.
    void finishFolders(std::span<FolderFinish> folders) override;
    std::error_code rename(const FolderHandle& from, const std::string& fromName, const FolderHandle& to,
                           const std::string& toName) override;
    std::error_code remove(const FolderHandle& folder, const std::string& name) override;
    std::error_code removeEmptyFolder(const FolderHandle& folder, const std::string& name) override;
    std::size_t removeLeftovers(const FolderHandle& folder) override;
    /// Writes at the end the file had when opened, which only this destination's run
    /// (under the run lock) extends: servers disagree on what an append flag means.
    std::unique_ptr<DestinationAppender> openAppend(const FolderHandle& folder, const std::string& name,
                                                    std::error_code& error) override;

    RunLockResult takeRunLock(std::string_view holder, std::error_code& error) override;
    std::string runLockHolder() override;
    std::string runLockTakeOver() const override { return m_takeOverNote; }
    void releaseRunLock() override;
    std::error_code checkWritable() override;
    std::uint64_t freeBytes() override;
    std::optional<files::FileSystemIdentity> identity(std::string& error) override;
    std::int64_t timeGranularity(bool measure) override;
    bool writerKeepsTimes() const override { return true; }
    /// Copies go through one writer on the run's own thread, issued far ahead: each file's
    /// requests go out as soon as the answers they depend on are in, so many files share
    /// every round trip. Their data in flight is bounded by the writer, their number here.
    unsigned helperWriters() const override { return 0; }
    std::size_t writesAhead() const override { return kWritesAhead; }
    static constexpr std::size_t kWritesAhead = 256;

    /// The remote path of an entry of a folder this destination gave out.
    static std::string pathIn(const FolderHandle& folder, std::string_view name);

private:
    class Folder;
    class Writer;
    friend class Writer;
    class Appender;
    friend class Appender;

    SftpDestination(SftpUrl url, std::shared_ptr<SftpConnection> connection);
    FolderHandle adopt(std::string path, std::string relative) const;

    // Requests answered at once.
    std::optional<sftp::Attributes> lstat(const std::string& path, std::error_code& error);
    std::error_code statusOf(sftp::Reply reply);
    std::error_code pathRequest(sftp::Type type, const std::string& path);
    std::error_code setAttributes(const std::string& path, const sftp::Attributes& attributes);
    std::error_code renamePath(const std::string& from, const std::string& to, bool replace);
    std::error_code removeTree(const std::string& path);
    std::vector<std::pair<std::string, sftp::Attributes>> listPath(const std::string& path,
                                                                   std::error_code& error);
    std::error_code writeSmallFile(const std::string& path, std::string_view text, bool exclusive);
    std::optional<std::string> readSmallFile(const std::string& path, std::error_code& error);
    struct SpaceInfo {
        std::uint64_t available = 0;
        std::uint64_t fsid = 0;
        bool readOnly = false;
    };
    std::optional<SpaceInfo> space();
    std::error_code connectionError();
    std::string freshTemporaryName();
    void refreshLock();
    void finishFoldersOfOneDepth(std::span<FolderFinish> folders);

    SftpUrl m_url;
    std::string m_location;
    std::shared_ptr<SftpConnection> m_connection;
    FolderHandle m_root;

    std::mutex m_lockMutex;
    bool m_lockHeld = false;
    std::string m_takeOverNote;
    std::condition_variable m_lockWake;
    bool m_stopRefresh = false;
    std::thread m_refresher;

    std::mutex m_randomMutex;
    std::uint64_t m_randomState = 0;

    /// Folders this destination has seen to be folders (never links) or made, by path,
    /// and those of them it made itself: a folder made here holds only what was put in it
    /// since, so a folder that was not made in it is not there, without asking. Whatever
    /// moves or goes is forgotten, with all below it. Paths the server said were not there
    /// are remembered too, so that a walk of a tree the destination lacks (counting before
    /// a run, a preview) asks once, not once per folder.
    std::mutex m_foldersMutex;
    std::unordered_set<std::string> m_knownFolders;
    std::unordered_set<std::string> m_madeFolders;
    std::unordered_set<std::string> m_missingPaths;
    bool knownFolder(const std::string& path);
    /// Whether the folder at path is surely missing: its parent was made here and no folder
    /// of that name since, or the server said that it or a folder above it was not there.
    bool surelyMissing(const std::string& path);
    void noteFolder(const std::string& path, bool made);
    /// A folder's status as a listing of the folder holding it, or its opening, just told
    /// it: the walk's look at each folder it reaches then needs no round trip of its own.
    /// Taken once; dropped when anything is changed at the path, moved or removed.
    std::unordered_map<std::string, sftp::Attributes> m_seenFolders;
    static constexpr std::size_t kSeenFoldersMost = 4096;
    void noteSeenFolder(const std::string& path, const sftp::Attributes& attributes);
    std::optional<sftp::Attributes> takeSeenFolder(const std::string& path);
    void dropSeenFolder(const std::string& path);
    void noteMissing(const std::string& path);
    /// Forgets path and all below it; and that the folder holding it holds only what was
    /// made here, when something moved in.
    void forgetFolders(const std::string& path, bool arrived = false);

    /// Folders asked for without waiting, in the order made: a folder holding another comes
    /// before it. Each is sent for once the folder holding it was made (its answer read), so
    /// a server that works on requests out of order never meets a folder before its parent.
    /// Answers are read in this order too, as the requests sent after them are answered or
    /// a request needs one of them; none is left unread when the destination goes.
    struct PendingFolder {
        std::string path;
        std::string parent;
        mode_t mode = 0;
        std::uint32_t id = 0; ///< 0 until its request is sent
    };
    /// A folder that could not be made, and the one that failed (it, or one above it).
    struct Unmade {
        std::error_code error;
        std::string failed;
    };
    /// Folders asked for at once and not answered yet, at most: bounds what waits.
    static constexpr std::size_t kFoldersAhead = 256;
    std::recursive_mutex m_pendingMutex;
    std::deque<PendingFolder> m_pending;
    std::unordered_set<std::string> m_pendingPaths;
    std::unordered_map<std::string, Unmade> m_unmade;
    /// Whether anything above is not empty: spares every request a lock.
    std::atomic<bool> m_foldersInDoubt{false};
    /// The folder made without waiting where it can be; none, without an error, where it
    /// is made the usual way.
    FolderHandle makeWithoutWaiting(const FolderHandle& parent, const std::string& name, mode_t mode,
                                    std::error_code& error);
    void sendFolder(PendingFolder& folder);
    /// Reads the answer for the oldest folder asked for; m_pendingMutex is held.
    void settleOldestFolder();
    /// What the server did for a folder it refused to make: a folder there is as good, a
    /// link gives way to one; otherwise the error that tells why.
    std::error_code madeAfterAll(const std::string& path, mode_t mode, std::error_code made);
    /// The path or a folder above it pending, or the error of one that could not be made
    /// (its path in failed); m_pendingMutex is held.
    bool pendingAbove(const std::string& path) const;
    std::error_code unmadeAbove(const std::string& path, std::string* failed) const;
    void noteFoldersInDoubt();
    /// Waits for the answers the folder at path (absolute) and those above it need; the
    /// error of the folder that could not be made, which failed names.
    std::error_code awaitPath(const std::string& path, std::string* failed = nullptr);
    /// Without waiting: whether the folder at path or one above it awaits its answer; error
    /// is set where one could not be made.
    bool folderPending(const std::string& path, std::error_code& error);
    /// Reads the answers of the folders asked for before the request id went out; whether
    /// any was read.
    bool settleFoldersBefore(std::uint32_t id);
    /// Reads every answer still due for a folder.
    void settleAllFolders();

    /// The server refused a change of owner once: it will refuse the next too.
    std::atomic<bool> m_ownersRefused{false};
    /// The loss of what SFTP cannot carry (attributes, ACLs) and of owners, given metadata.
    files::MetadataLoss lossBeyondOwners(const files::Metadata& metadata) const;
    files::MetadataLoss setOwnerOf(const std::string& path, const files::Metadata& metadata);
};

} // namespace stowmere::backup
