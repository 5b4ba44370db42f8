// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace stowmere::backup {

/// One thing a preview found a run would do, or could not do.
struct PreviewEntry {
    enum class Kind {
        New,        ///< a file with no copy yet
        Size,       ///< a file whose copy differs in size
        Newer,      ///< a file whose copy is older
        Older,      ///< a file whose copy is newer: an older file was put back in its place
        Replace,    ///< a file whose copy is up to date, copied again by a full run; or an
                    ///< entry whose copy is of another kind (was and becomes say which)
        Mkdir,      ///< a folder that would be created
        Link,       ///< a link that would be made
        Fifo,       ///< a FIFO that would be made
        Device,     ///< a device node that would be made (becomes says which kind)
        Same,       ///< a file an incremental run leaves alone, as its copy is up to date
        Excluded,   ///< a file or folder an exclusion pattern or a cache tag leaves out
        Missing,    ///< a checked item that is neither a file nor a folder
        Unreadable, ///< a file or folder that could not be read; reason says why
        Remove,     ///< a copy whose source is gone, moved into this run's versions folder
                    ///< (source is the path gone, target the copy)
    };
    Kind kind = Kind::New;
    std::string source;     ///< the file, link or folder read (for Mkdir the source folder)
    std::string target;     ///< where the copy goes (for Mkdir the folder made)
    std::uint64_t size = 0; ///< bytes of a file to copy
    std::string reason;     ///< for Unreadable
    /// For a change of kind: what the copy is ("file", "folder", "link", "special") and
    /// what takes its place; both empty otherwise.
    std::string was{};
    std::string becomes{};
};

/// What a run is going to copy, counted by walking the checked items before it copies.
struct RunTotals {
    std::uint64_t files = 0; ///< files and links to copy
    std::uint64_t bytes = 0; ///< their sizes
    /// Disk space the copies take (allocated, so sparse files count as what they hold)
    /// beyond that of the copies they replace.
    std::uint64_t neededBytes = 0;
    /// False while the count is still going on; the figures then only grow.
    bool complete = true;
};

/// The word a preview prints for a kind: "new", "size", "newer", "older", "replace",
/// "mkdir", "link", "fifo", "device", "same", "excluded", "missing", "unreadable", "remove".
const char* previewKindName(PreviewEntry::Kind kind);

/// Whether an entry of this kind is a file the run would copy (its size counts).
bool previewKindCopiesFile(PreviewEntry::Kind kind);

/// How a backup run reaches the window that started it. The run calls these from its own
/// thread, one at a time; a window implementation marshals each call to its user-interface
/// thread. isItemChecked, uncheckItem and showError must be answered before they return;
/// the others may be queued.
class BackupObserver {
public:
    virtual ~BackupObserver() = default;

    /// Whether list item index is checked at this moment. Asked when the run reaches the
    /// item, so an item checked during the run joins it if the run has not passed it yet.
    virtual bool isItemChecked(std::size_t index) = 0;

    /// Clears the check of list item index.
    virtual void uncheckItem(std::size_t index) = 0;

    /// The run has reached list item index, which is checked, and starts on it now.
    virtual void itemStarted(std::size_t index, const std::string& item)
    {
        static_cast<void>(index);
        static_cast<void>(item);
    }

    /// What the run will copy, with a run that counts first (BackupSettings::countFirst):
    /// told while the count goes on, once it is complete, and again whenever the figures
    /// change (an item checked or unchecked during the run, counted when the run reaches it).
    virtual void totalsCounted(const RunTotals& totals) { static_cast<void>(totals); }

    /// The copies need more space than the destination has free: whether to start anyway.
    /// Asked once, after the count and before anything is written, and must be answered
    /// before it returns (a window asks its user). needed and free in bytes; folder is the
    /// Backup To Folder as stored. No ends the run as refused with nothing copied. Observers
    /// that do not ask start, as runs did before they counted.
    virtual bool startWithoutSpace(std::uint64_t needed, std::uint64_t free, const std::string& folder)
    {
        static_cast<void>(needed);
        static_cast<void>(free);
        static_cast<void>(folder);
        return true;
    }

    /// A mirrored item's copy would lose many of its files: its folder is empty while the
    /// copy holds files (sourceEmpty), or files of the copy's files would go, more than
    /// half of them. Whether to move them into versions all the same; must be answered before it
    /// returns (a window asks its user, No by default). No keeps the item's whole copy as it
    /// is, and the observer tells so (massRemovalText). Observers that do not ask keep it.
    virtual bool allowMassRemoval(const std::string& item, std::uint64_t files, std::uint64_t copies,
                                  bool sourceEmpty)
    {
        static_cast<void>(item);
        static_cast<void>(files);
        static_cast<void>(copies);
        static_cast<void>(sourceEmpty);
        return false;
    }

    /// A file copy is about to start; for a live status line. Files that an incremental run
    /// finds up to date are not announced.
    virtual void copyingFile(const std::string& source, const std::string& target)
    {
        static_cast<void>(source);
        static_cast<void>(target);
    }

    /// A copy has come this far: bytes done of the source's size (0 when the source does not
    /// tell its size). Told between the chunks of a copy, so for a large file many times.
    virtual void copyProgress(const std::string& source, std::uint64_t done, std::uint64_t size)
    {
        static_cast<void>(source);
        static_cast<void>(done);
        static_cast<void>(size);
    }

    /// The folder list of a folder item has grown to count folders; told while it is built,
    /// which for a large tree takes a while before the first file is copied.
    virtual void foldersListed(std::size_t count) { static_cast<void>(count); }

    /// A preview found one entry; told as it is found, in the order a run would meet it.
    virtual void previewEntry(const PreviewEntry& entry) { static_cast<void>(entry); }

    /// The bytes of the files copied so far in this run: told just before fileCopied, each
    /// file counted once its copy is complete (a copy cut off counts nothing).
    virtual void bytesCopied(std::uint64_t bytes) { static_cast<void>(bytes); }

    /// A file was copied; count is the number of files copied so far in this run.
    virtual void fileCopied(std::uint64_t count) = 0;

    /// One checked item has been handled: the progress bar steps by one.
    virtual void itemDone() = 0;

    /// Shows text in an error box and returns only once the user has closed the box.
    /// Lines are separated by "\r\n".
    virtual void showError(const std::string& text) = 0;

    /// Shows text in an information box and returns only once the user has closed it: what
    /// the run could not back up, or why it could not start. Lines are separated by "\r\n".
    /// Shown as an error box by observers that know no other kind.
    virtual void showInformation(const std::string& text) { showError(text); }

    /// The run went through every item without being cancelled or stopped: told once, just
    /// before the progress display is closed. A window may hold its full bar here a moment.
    virtual void runComplete() {}

    /// Closes the progress display and puts its bar back to 0.
    virtual void closeProgress() = 0;
};

} // namespace stowmere::backup
