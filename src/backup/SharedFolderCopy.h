// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "platform/FileCopier.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace stowmere::backup {

/// One file of a folder whose copies two threads share, and what its copy ended in, kept
/// until the run's own thread tells it in the folder's order.
struct SharedFile {
    std::string_view name; ///< of the folder's scanned file, which outlives the copy
    bool link = false;
    /// false: not for the threads to copy (an exclusion pattern leaves it out).
    bool shared = true;

    std::atomic<bool> done{false};
    /// Not copied: the run was stopping, or a copy had failed, when its turn came.
    bool skipped = false;
    /// The paths of the copy, made by the thread that took it.
    std::string source;
    std::string target;
    files::CopyOutcome outcome;
    /// What the copy told of its progress, in order, to be told again as it is reported.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    /// What the copy threw, to be rethrown on the run's thread.
    std::exception_ptr error;
};

/// Files of one folder that two threads copy at once, each taking the next file nobody has
/// taken. Files above the size limit are left to the run's thread, which copies them in
/// turn with a live progress report (they come back TooLarge). Once a copy fails on the
/// destination's side, or the run is cancelled, the files not yet taken are skipped.
class SharedFolderCopy {
public:
    /// target is the open destination folder whose path is targetFolder.
    SharedFolderCopy(std::string sourceFolder, std::string targetFolder, FolderHandle target,
                     std::span<SharedFile> files, std::uint64_t sizeLimit, const std::atomic<bool>& cancel);

    /// Takes the next file and copies it with writer; false when every file is taken.
    bool copyNext(DestinationWriter& writer);
    /// Returns file index once its copy is over, copying files nobody has taken with writer
    /// (this thread's own) meanwhile.
    SharedFile& await(std::size_t index, DestinationWriter& writer);
    /// Files not taken yet are skipped from now on.
    void stop() { m_stopped.store(true); }

private:
    bool stopping() const { return m_stopped.load() || m_cancel.load(); }
    void copy(SharedFile& file, DestinationWriter& writer);

    std::string m_sourceFolder;
    std::string m_targetFolder;
    FolderHandle m_target;
    std::span<SharedFile> m_files;
    std::uint64_t m_sizeLimit;
    const std::atomic<bool>& m_cancel;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stopped{false};
};

/// The other copying threads of a run, one per writer: they work on the folder shared
/// with them until every file is taken, then wait for the next one. They touch nothing of
/// the run but the files shared, so the run's observer still hears everything from the
/// run's own thread.
class CopyHelper {
public:
    /// Starts a thread for each writer it can (at least one); throws std::system_error
    /// when none can be had.
    explicit CopyHelper(std::vector<std::unique_ptr<DestinationWriter>> writers);
    /// Stops and joins the threads.
    ~CopyHelper();
    CopyHelper(const CopyHelper&) = delete;
    CopyHelper& operator=(const CopyHelper&) = delete;

    /// Has the threads join in copying files.
    void share(SharedFolderCopy& files);
    /// Returns once no thread touches the files last shared.
    void release();

private:
    void work(DestinationWriter& writer);
    void stopThreads();

    std::vector<std::unique_ptr<DestinationWriter>> m_writers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    SharedFolderCopy* m_shared = nullptr;
    /// Counts the shares, so that a thread done with one never takes it up again, even
    /// where the next one is made at the same address.
    std::uint64_t m_generation = 0;
    unsigned m_busy = 0;
    bool m_quit = false;
    std::vector<std::thread> m_threads; ///< last: start once everything they use is there
};

} // namespace stowmere::backup
