// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "platform/UniqueFd.h"

#include <memory>
#include <mutex>
#include <string>

namespace stowmere::backup {

/// A destination folder on a local or mounted file system. It holds the folder open and
/// resolves every name beneath that descriptor without following links, so nothing it
/// writes, moves or deletes can reach outside the folder, and paths below it may grow
/// past the system's path-length limit.
class LocalDestination : public Destination {
public:
    /// Opens the folder path (links in path itself are followed: the user names the
    /// place). None when it cannot be opened as a folder; error says why.
    static std::unique_ptr<LocalDestination> open(const std::string& path, std::error_code& error);
    /// The open folder of a handle this destination gave out.
    static int fdOf(const FolderHandle& folder);

    ~LocalDestination() override;

    const std::string& location() const override { return m_location; }

    FolderHandle root() override { return m_root; }
    FolderHandle openFolder(std::string_view relative, std::error_code& error) override;
    FolderHandle openFolder(const FolderHandle& parent, const std::string& name,
                            std::error_code& error) override;
    FolderHandle makeFolder(const FolderHandle& parent, const std::string& name, mode_t mode, bool& created,
                            std::error_code& error) override;
    std::vector<DestinationEntry> list(const FolderHandle& folder, std::error_code& error) override;
    std::vector<DestinationEntry> listKinds(const FolderHandle& folder, std::error_code& error) override;
    /// One look-up beneath an open folder is one system call; a listing reads the whole
    /// folder besides.
    bool prefersListing() const override { return false; }
    DestinationEntry status(const FolderHandle& folder, const std::string& name) override;
    DestinationEntry status(const FolderHandle& folder) override;
    std::optional<std::string> readLink(const FolderHandle& folder, const std::string& name,
                                        std::error_code& error) override;
    files::UniqueFd openFile(const FolderHandle& folder, const std::string& name,
                             std::error_code& error) override;

    std::unique_ptr<DestinationWriter> writer() override;
    std::error_code setMode(const FolderHandle& folder, const std::string& name, mode_t mode) override;
    std::error_code setMode(const FolderHandle& folder, mode_t mode) override;
    files::MetadataLoss setMetadata(const FolderHandle& folder, const std::string& name,
                                    const files::Metadata& metadata) override;
    files::MetadataLoss setMetadata(const FolderHandle& folder, const files::Metadata& metadata) override;
    std::error_code setTimes(const FolderHandle& folder, const std::string& name, const timespec& accessed,
                             const timespec& modified) override;
    std::error_code rename(const FolderHandle& from, const std::string& fromName, const FolderHandle& to,
                           const std::string& toName) override;
    std::error_code remove(const FolderHandle& folder, const std::string& name) override;
    std::error_code removeEmptyFolder(const FolderHandle& folder, const std::string& name) override;
    bool holdsSpecials() const override { return true; }
    files::CopyOutcome makeSpecial(const SpecialRequest& request) override;
    bool holdsHardLinks() const override { return true; }
    files::CopyOutcome makeHardLink(const FolderHandle& firstFolder, const std::string& firstName,
                                    const FolderHandle& folder, const std::string& name,
                                    const VersionPlaceMaker& keepReplaced) override;
    std::size_t removeLeftovers(const FolderHandle& folder) override;
    std::unique_ptr<DestinationAppender> openAppend(const FolderHandle& folder, const std::string& name,
                                                    std::error_code& error) override;

    RunLockResult takeRunLock(std::string_view holder, std::error_code& error) override;
    std::string runLockHolder() override;
    void releaseRunLock() override;
    std::error_code checkWritable() override;
    std::uint64_t freeBytes() override;
    std::optional<files::FileSystemIdentity> identity(std::string& error) override;
    std::int64_t timeGranularity(bool measure) override;

private:
    class Folder;
    class Writer;

    LocalDestination(std::string location, files::UniqueFd rootFd);
    FolderHandle adopt(files::UniqueFd fd, std::string relative) const;
    /// Where an entry for the folder folderFd is made under a temporary name first.
    int temporaryFolderFor(int folderFd) const;

    std::string m_location; ///< as given, without one trailing separator ("" for the root)
    std::string m_path;     ///< m_location, or "/" for the root
    FolderHandle m_root;
    std::mutex m_lockMutex;
    files::UniqueFd m_lock;
};

} // namespace stowmere::backup
