// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/HardLinkMap.h"

#include "backup/BackupEngine.h"
#include "backup/RunSink.h"

namespace stowmere::backup {

/// The sink of the count before a run: totals what the run will copy, item by item, with
/// the same walk and the same rules as the copy, so that what is counted is what is copied.
/// It keeps nothing else of what it meets (the run tells that itself) and writes nothing.
/// Running totals are told now and then, as a large tree takes a while to count.
class CountSink final : public RunSink {
public:
    /// before: the totals of the items counted already, to which this count adds.
    CountSink(const BackupSettings& settings, BackupObserver& observer, const PreviewTotals& before);

    /// What this sink counted.
    const PreviewTotals& counted() const { return m_counted; }

    bool looksAtTargets() const override { return true; }
    bool readsFiles() const override { return false; }
    bool wantsUnchanged() const override { return false; }
    void notBackedUp(const std::string&, const std::string&) override {}
    void excluded(const std::string&) override {}
    void missingItem(const std::string&) override {}
    void failed(const std::string&) override {}
    void foldersListed(std::size_t) override {}
    bool makeFolder(const FolderFacts&, bool& created) override
    {
        created = true;
        return true;
    }
    void folderReady(const FolderFacts&, const files::FileStatus*) override {}
    void beginEntries(const FolderFacts&, std::span<const ScannedFile>, const std::vector<bool>&) override {}
    void endEntries() override {}
    void abandonEntries() noexcept override {}
    bool entry(const EntryFacts& entry) override;
    void folderItemDone() override { m_names.clear(); }

private:
    /// Whether entry is a later name of a file met in this item: the run gives that file's
    /// copy this name too, which copies nothing.
    bool laterName(const EntryFacts& entry)
    {
        return entry.multiLinked() &&
               m_names.metBefore(entry.scanned->status.identity, entry.scanned->status.links);
    }

    static constexpr std::uint64_t kTellEvery = 4096;

    const BackupSettings& m_settings;
    BackupObserver& m_observer;
    HardLinkMap m_names;
    PreviewTotals m_before;
    PreviewTotals m_counted;
};

} // namespace stowmere::backup
