// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "backup/Destination.h"
#include "backup/HardLinkMap.h"
#include "backup/ManifestKeeper.h"
#include "backup/RunLog.h"
#include "backup/RunRecord.h"
#include "backup/RunSink.h"
#include "backup/SharedFolderCopy.h"
#include "backup/TimeGranularity.h"
#include "backup/VersionStore.h"
#include "platform/FileCopier.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace stowmere::backup {

/// The sink of a real run: copies what the walk hands over into the destination, keeps the
/// copies it replaces as versions, gives folders their sources' bits once filled, and in a
/// full copy shares each folder's small files with a second copying thread. Every report
/// reaches the observer from the run's own thread, file by file in the folder's order.
class CopySink final : public RunSink {
public:
    /// dest is the destination as targets are made from it ("" for the root); destination
    /// is where they are written.
    CopySink(const BackupSettings& settings, Destination& destination, RunLog& record,
             std::atomic<bool>& cancelFlag, TimeGranularity& granularity);
    ~CopySink() override;
    CopySink(const CopySink&) = delete;
    CopySink& operator=(const CopySink&) = delete;

    /// Takes the run lock; false (the result says why) when the run may not write.
    bool start();
    /// Prunes old versions after a run that went through, then lets go of the lock.
    void finish(bool wentThrough);

    /// Moves the copy at relative (below the destination), whole and never through a link,
    /// into this run's versions folder, whether or not the run keeps versions of what it
    /// replaces. Nothing there is no error.
    std::error_code moveIntoVersions(const std::string& relative);
    /// The run folder that moveIntoVersions filled; empty before.
    std::string removalsFolder() const;

    bool looksAtTargets() const override { return false; }
    bool readsFiles() const override { return true; }
    /// Up-to-date copies come too while verification has marked copies to make again.
    bool wantsUnchanged() const override { return m_manifest && m_manifest->healing(); }
    /// Also where the destination cannot hold them: the run then says so once.
    bool keepsHardLinks() const override { return true; }
    void upToDate(std::string_view folder, std::string_view name) override;
    void notBackedUp(const std::string& path, const std::string& reason) override;
    void excluded(const std::string& path) override;
    void missingItem(const std::string& item) override;
    void failed(const std::string& text) override;
    void foldersListed(std::size_t count) override;
    bool makeFolder(const FolderFacts& folder, bool& created) override;
    void folderReady(const FolderFacts& folder, const files::FileStatus* existing) override;
    void beginEntries(const FolderFacts& folder, std::span<const ScannedFile> files,
                      const std::vector<bool>& leftOut) override;
    void endEntries() override;
    void abandonEntries() noexcept override;
    bool entry(const EntryFacts& entry) override;
    void folderItemDone() override;

private:
    /// Files shared between the two copying threads at a time: bounds what is kept of the
    /// copies not yet told.
    static constexpr std::size_t kSharedFiles = 1024;
    /// Larger files are copied by the run's own thread, in turn, with live progress.
    static constexpr std::uint64_t kSharedSizeLimit = std::uint64_t{1} << 20;

    /// One stretch of a folder's files that both threads copy.
    struct SharedStretch {
        SharedStretch(std::size_t from, std::size_t count, const std::string& sourceFolder,
                      const std::string& targetFolder, FolderHandle target, const std::atomic<bool>& cancel)
            : from(from), target(target), files(count),
              copies(sourceFolder, targetFolder, std::move(target), files, kSharedSizeLimit, cancel)
        {
        }
        std::size_t from;
        FolderHandle target; ///< the folder both threads copy into, held open
        std::vector<SharedFile> files;
        SharedFolderCopy copies;
        std::size_t told = 0; ///< files before this one are told
    };

    /// Copies a file; whether the copy is now in place.
    bool copyFile(const std::string& source, const std::string& target);
    /// Makes the copy of a FIFO or device node, or lists why it cannot.
    void copySpecial(const EntryFacts& entry);
    /// A file with several names: the first name met is copied (or found up to date), the
    /// later ones become names of that copy.
    void copyMultiLinked(const EntryFacts& entry);
    /// Makes target a second name of the copy at first (below the destination); false
    /// when the destination cannot, and the file is to be copied instead.
    bool linkToCopy(const HardLinkMap::Copy& firstCopy, const EntryFacts& entry);
    /// An entry this thread makes in a folder both threads fill: the other thread's copies
    /// before it are told first, in the folder's order.
    void tellSharedBefore(const EntryFacts& entry);
    /// Keeps whatever stands at name of folder as a version before something else takes its
    /// place; none where nothing is kept.
    VersionPlaceMaker keeperFor(const FolderHandle& folder, const std::string& name,
                                const std::string& relative, DestinationKind kind);
    void copyLink(const std::string& source, const std::string& target);
    /// Writes a file or link, keeping what it replaces as a version when the run keeps
    /// any; something of another kind in its way (a folder where a file goes) is set aside
    /// first.
    files::CopyOutcome write(const std::string& source, const std::string& target, const FolderHandle& folder,
                             bool link);
    /// Moves the entry name of folder (the copy at relative) into this run's versions
    /// folder, whole, or removes it when the run keeps no versions: it is of another kind
    /// than what takes its place.
    std::error_code setAside(const FolderHandle& folder, const std::string& name,
                             const std::string& relative);
    /// Sets the copy's times to the source's once the copy has its name.
    void setTimesAgain(const std::string& source, const FolderHandle& folder, const std::string& name);
    /// Destinations whose times are this coarse (in nanoseconds) or coarser get the times of
    /// each copy set again once it is in place.
    static constexpr std::int64_t kCoarseTimes = 1'000'000'000;
    /// Whether something a file or link cannot replace (a folder) stands as name in folder.
    bool inTheWay(const FolderHandle& folder, const std::string& name);
    bool copyShared(const EntryFacts& entry);
    void startStretch(std::size_t index);
    /// Tells the rest of the stretch, then lets the helper go.
    void endStretch();
    void dropStretch() noexcept;
    void tellSharedCopy(const SharedFile& file);
    void tellCopyOutcome(const std::string& source, const std::string& target,
                         const files::CopyOutcome& outcome, bool link, const FolderHandle& folder = nullptr);

    /// A copy issued ahead through a destination that overlaps writes, not told yet.
    struct Issued;
    /// Issues the copy of a file or link of the folder being filled; the oldest copies
    /// issued are told once more than the destination takes at once are on their way.
    void issue(const std::string& source, const std::string& target, bool link);
    WriteRequest issuedRequest(Issued& issued);
    /// Collects the oldest copy issued and tells it, as copyFile would have.
    void tellOldestIssued();
    /// Tells every copy issued: before anything that must come after them.
    void tellIssued();
    /// Whether the entry name of folder is to be kept as a version when source replaces
    /// it: anything but the same file, or a link with the same text.
    /// there, when given, tells what stands there.
    bool keepsReplacedCopy(const std::string& source, const FolderHandle& folder, const std::string& name,
                           bool link, DestinationKind* there = nullptr);
    /// The place for the copy at relative that the write under way replaces, noted for the
    /// run's record; none when nothing stands there.
    std::optional<VersionPlace> keepForRecord(const std::string& relative, DestinationKind there,
                                              DestinationKind kind, std::error_code& error);
    struct WriteFact;
    std::optional<VersionPlace> keepForRecord(WriteFact& fact, DestinationKind there, DestinationKind kind,
                                              std::error_code& error);
    /// Records what the last write did at its path (added, replaced or removed), once it
    /// went through.
    void recordWrite(const files::CopyOutcome& outcome);
    void recordWrite(const WriteFact& fact, const files::CopyOutcome& outcome);
    /// The open destination folder at path (the destination or a folder below it), reached
    /// without following links; the last one is remembered. Null after the failure box.
    FolderHandle targetFolder(const std::string& source, const std::string& path);
    /// The path of a target below the destination.
    std::string relativeOf(const std::string& path) const;
    /// Records a copy just made: with the digest taken as it was written, or hashed now.
    /// folder, when given, is the copy's folder.
    void recordCopy(const std::string& source, const std::string& target, const files::CopyOutcome& outcome,
                    const FolderHandle& folder = nullptr);
    void tellManifestNotes();
    /// Gives the folders of the item just walked their sources' owners, attributes, bits
    /// and times, deepest first, once all below them is written.
    void finishFolders();
    /// The folder the walk is filling is changed by this run: its times and bits are set
    /// again at the end.
    void folderTouched();
    void finishLater(const std::string& source, const std::string& target);
    void noteLoss(const files::MetadataLoss& loss);
    void destinationFailed(const std::string& source, const std::string& targetFolder,
                           const std::string& reason);
    /// Where the destination makes folders without waiting: when the folder at target (a
    /// path) or one above it could not be made, stops the run naming that folder with its
    /// reason (or source and target, where this item did not make it), and says so.
    bool folderNotMade(const std::string& source, const std::string& target);
    bool cancelled() const { return m_cancelFlag.load(); }

    const BackupSettings& m_settings;
    std::string m_dest;
    RunLog& m_record;
    BackupResult& m_result;
    BackupObserver& m_observer;
    std::atomic<bool>& m_cancelFlag;
    TimeGranularity& m_granularity;
    /// The destination and this thread's writer, made when the run takes its lock.
    Destination& m_destination;
    std::unique_ptr<DestinationWriter> m_writer;
    std::string m_targetPath; ///< the folder targetFolder gave last
    FolderHandle m_target;
    std::unique_ptr<VersionStore> m_versions;
    std::unique_ptr<ManifestKeeper> m_manifest;
    std::size_t m_manifestNotesTold = 0;
    std::unique_ptr<VersionStore::Keeper> m_keeper;
    /// The keeper of removed copies in a run that keeps no replaced ones.
    std::unique_ptr<VersionStore::Keeper> m_removalKeeper;
    /// What this run adds, replaces and removes, kept in the destination.
    std::unique_ptr<RunRecord> m_runRecord;
    /// What a write does at its path, for the run's record.
    struct WriteFact {
        std::string relative;
        bool watched = false;  ///< its folder was there before the run: the write is recorded
        bool standing = false; ///< something stood at the path
        bool kept = false;     ///< and went into the run folder
        bool kindChanged = false;
    };
    WriteFact m_writeFact; ///< of the write under way on this thread
    /// Copies issued ahead, oldest first, and the writer they go through; none where the
    /// destination does each write as it is issued.
    std::size_t m_writesAhead = 0;
    std::unique_ptr<DestinationWriter> m_aheadWriter;
    std::deque<std::unique_ptr<Issued>> m_issued;
    std::time_t m_runStart = 0;
    /// The second copying thread of a full copy.
    std::unique_ptr<CopyHelper> m_helper;
    /// Folders (source, target) that get their sources' metadata, bits and times once
    /// their contents are in: a read-only folder made read-only at once could not be
    /// filled, and every entry written changes a folder's time.
    std::vector<std::pair<std::string, std::string>> m_folderFinish;
    std::unordered_set<std::string> m_finishing; ///< the targets in m_folderFinish
    /// Folders below the destination that the item being walked made, with their sources
    /// and targets.
    std::unordered_map<std::string, std::pair<std::string, std::string>> m_madeInItem;
    /// What the destination could not keep, told once at the end.
    files::MetadataLoss m_lost;
    /// The files of several names met in the item being walked.
    HardLinkMap m_hardLinks;
    /// Names of one file were copied as files of their own: the destination cannot link.
    bool m_hardLinksLost = false;

    // The folder being filled.
    bool m_inFolder = false;
    bool m_folderNew = false; ///< made by this run, so nothing in it is replaced
    /// The folder whose entries come next (source, target), until it is to be finished.
    std::optional<std::pair<std::string, std::string>> m_untouched;
    bool m_sharing = false;
    const std::string* m_sourceFolder = nullptr;
    const std::string* m_targetFolder = nullptr;
    std::span<const ScannedFile> m_files;
    const std::vector<bool>* m_leftOut = nullptr;
    std::unique_ptr<SharedStretch> m_stretch;
};

} // namespace stowmere::backup
