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
    /// Not copied: the run was stopping when its turn came.
    bool skipped = false;
    /// The paths of the copy, made by the thread that copied it (not when skipped).
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

/// The second copying thread of a run: it works on the folder shared with it until every
/// file is taken, then waits for the next one. It touches nothing of the run but the files
/// shared, so the run's observer still hears everything from the run's own thread.
class CopyHelper {
public:
    /// Starts the thread, which writes with writer; throws std::system_error when none can
    /// be had.
    explicit CopyHelper(std::unique_ptr<DestinationWriter> writer);
    /// Stops and joins the thread.
    ~CopyHelper();
    CopyHelper(const CopyHelper&) = delete;
    CopyHelper& operator=(const CopyHelper&) = delete;

    /// Has the thread join in copying files.
    void share(SharedFolderCopy& files);
    /// Returns once the thread no longer touches the files last shared.
    void release();

private:
    void work();

    std::unique_ptr<DestinationWriter> m_writer;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    SharedFolderCopy* m_shared = nullptr;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread; ///< last: starts once everything it uses is there
};

} // namespace stowmere::backup
