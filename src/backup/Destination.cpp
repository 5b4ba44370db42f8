// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Destination.h"

#include "backup/OwnNames.h"

#include <climits>
#include <thread>
#include <unistd.h>

namespace stowmere::backup {

unsigned Destination::helperWriters() const
{
    return std::thread::hardware_concurrency() > 1 ? 1 : 0;
}

std::string Destination::pathOf(const DestinationFolder& folder, std::string_view name) const
{
    std::string path = pathOf(folder.relative());
    if (!name.empty()) {
        path += '/';
        path += name;
    }
    return path;
}

std::string Destination::pathOf(std::string_view relative) const
{
    std::string path = location();
    if (!path.empty() && path.back() == '/')
        path.pop_back();
    if (relative.empty())
        return path.empty() ? std::string("/") : path;
    path += '/';
    path += relative;
    return path;
}

files::MetadataLoss Destination::setMetadata(const FolderHandle&, const std::string&,
                                             const files::Metadata& metadata)
{
    const std::error_code unsupported = std::make_error_code(std::errc::operation_not_supported);
    files::MetadataLoss loss;
    loss.owner = unsupported;
    for (const auto& attribute : metadata.attributes)
        (files::isAclAttribute(attribute.first) ? loss.acls : loss.attributes) = unsupported;
    return loss;
}

files::MetadataLoss Destination::setMetadata(const FolderHandle& folder, const files::Metadata& metadata)
{
    return setMetadata(folder, {}, metadata);
}

void Destination::finishFolders(std::span<FolderFinish> folders)
{
    for (FolderFinish& folder : folders) {
        folder.loss.add(setMetadata(folder.parent, folder.name, folder.metadata));
        setMode(folder.parent, folder.name, files::safeModeBits(folder.mode & 07777, folder.loss));
        setTimes(folder.parent, folder.name, folder.accessed, folder.modified);
    }
}

files::CopyOutcome Destination::makeSpecial(const SpecialRequest&)
{
    files::CopyOutcome outcome;
    outcome.status = files::CopyOutcome::Status::DestinationFailed;
    outcome.error = std::make_error_code(std::errc::operation_not_supported);
    return outcome;
}

files::CopyOutcome Destination::makeHardLink(const FolderHandle&, const std::string&, const FolderHandle&,
                                             const std::string&, const VersionPlaceMaker&)
{
    files::CopyOutcome outcome;
    outcome.status = files::CopyOutcome::Status::LinksRefused;
    outcome.error = std::make_error_code(std::errc::operation_not_supported);
    return outcome;
}

std::error_code Destination::prepareTemporaries()
{
    bool created = false;
    std::error_code error;
    FolderHandle folder = makeFolder(root(), std::string(kTemporariesFolderName), 0700, created, error);
    if (!folder)
        return error;
    if (!created) {
        // Nothing in it is anyone's copy: whatever is there was left by a run that was killed.
        const std::vector<DestinationEntry> left = list(folder, error);
        if (error)
            return error;
        for (const DestinationEntry& entry : left) {
            if (const std::error_code removed = remove(folder, entry.name))
                return removed;
        }
    }
    m_temporaries = std::move(folder);
    return {};
}

bool sameLinkText(Destination& destination, const FolderHandle& folder, const std::string& name,
                  const std::string& source)
{
    char sourceText[PATH_MAX];
    const ssize_t sourceLength = ::readlink(source.c_str(), sourceText, sizeof sourceText);
    if (sourceLength < 0)
        return false;
    std::error_code error;
    const std::optional<std::string> copyText = destination.readLink(folder, name, error);
    return copyText && std::string_view(sourceText, static_cast<std::size_t>(sourceLength)) == *copyText;
}

void Destination::releaseTemporaries()
{
    if (!m_temporaries)
        return;
    m_temporaries.reset();
    removeEmptyFolder(root(), std::string(kTemporariesFolderName));
}

std::string joinRelative(const std::string& folder, std::string_view name)
{
    if (folder.empty())
        return std::string(name);
    std::string path = folder;
    path += '/';
    path += name;
    return path;
}

files::FileStatus statusOf(const DestinationEntry& entry)
{
    files::FileStatus status;
    switch (entry.kind) {
    case DestinationKind::Missing:
        return status;
    case DestinationKind::File:
        status.kind = files::EntryKind::File;
        break;
    case DestinationKind::Folder:
        status.kind = files::EntryKind::Folder;
        break;
    case DestinationKind::Link:
        status.kind = files::EntryKind::Other;
        status.link = true;
        break;
    case DestinationKind::Other:
        status.kind = files::EntryKind::Other;
        break;
    }
    status.modified = entry.modified;
    status.size = entry.size;
    status.identity = entry.identity;
    status.links = entry.links;
    status.mode = entry.mode;
    return status;
}

} // namespace stowmere::backup
