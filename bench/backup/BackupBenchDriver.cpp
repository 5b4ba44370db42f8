// SPDX-License-Identifier: GPL-3.0-or-later
// Driver for copy-bench.sh: generates the benchmark trees and runs the backup engine over
// them exactly as the window would, minus the window.
//
//   backup-bench-driver gen-large FOLDER COUNT MIB
//   backup-bench-driver gen-small FOLDER FILES FOLDERS DEPTH [MIN_BYTES MAX_BYTES]
//   backup-bench-driver change FOLDER PER_MILLE SEED
//   backup-bench-driver backup [--incremental] [--inline-scan] [--one-copier] DEST ITEM...
#include "backup/BackupEngine.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Every item checked, nothing shown: the engine's own cost is what is measured.
class QuietObserver : public stowmere::backup::BackupObserver {
public:
    bool isItemChecked(std::size_t) override { return true; }
    void uncheckItem(std::size_t) override {}
    void fileCopied(std::uint64_t) override {}
    void itemDone() override {}
    void showError(const std::string& text) override
    {
        std::fprintf(stderr, "error: %s\n", text.c_str());
        ++errors;
    }
    void closeProgress() override {}
    int errors = 0;
};

// Random bytes, so that no file system can store them more cheaply than plain data.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    void fill(std::vector<char>& buffer)
    {
        for (std::size_t i = 0; i + 8 <= buffer.size(); i += 8) {
            const std::uint64_t value = next();
            std::memcpy(buffer.data() + i, &value, 8);
        }
    }

private:
    std::uint64_t m_state;
};

void makeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

void writeFile(const std::string& path, const std::vector<char>& data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, data.data(), size) != static_cast<ssize_t>(size) || ::close(fd) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

int generateLarge(const std::string& folder, int count, int mebibytes)
{
    makeFolder(folder);
    std::vector<char> chunk(1 << 20);
    Noise noise(0x5EED);
    for (int i = 0; i < count; ++i) {
        const std::string path = folder + "/large-" + std::to_string(i) + ".bin";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(path.c_str());
            return 1;
        }
        for (int m = 0; m < mebibytes; ++m) {
            noise.fill(chunk);
            if (::write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
                std::perror(path.c_str());
                return 1;
            }
        }
        ::close(fd);
    }
    return 0;
}

// FOLDERS folders at most DEPTH levels below FOLDER, filled breadth first with five
// sub-folders each, and FILES files of minBytes to maxBytes spread over all of them.
int generateSmall(const std::string& folder, int files, int folders, int depth, std::size_t minBytes = 1024,
                  std::size_t maxBytes = 16 * 1024)
{
    makeFolder(folder);
    struct Node {
        std::string path;
        int level;
    };
    std::vector<Node> nodes;
    std::vector<Node> frontier{{folder, 0}};
    std::size_t next = 0;
    while (static_cast<int>(nodes.size()) < folders && next < frontier.size()) {
        const Node parent = frontier[next++];
        if (parent.level >= depth)
            continue;
        for (int child = 0; child < 5 && static_cast<int>(nodes.size()) < folders; ++child) {
            Node node{parent.path + "/d" + std::to_string(nodes.size()), parent.level + 1};
            makeFolder(node.path);
            nodes.push_back(node);
            frontier.push_back(node);
        }
    }
    std::vector<char> data((maxBytes + 7) / 8 * 8);
    Noise noise(0xF11E5);
    for (int i = 0; i < files; ++i) {
        noise.fill(data);
        const std::size_t size = minBytes + noise.next() % (maxBytes - minBytes + 1);
        writeFile(nodes[static_cast<std::size_t>(i) % nodes.size()].path + "/f" + std::to_string(i) + ".dat",
                  data, size);
    }
    std::printf("%zu folders, %d files\n", nodes.size(), files);
    return 0;
}

// Rewrites about perMille of every thousand files below folder with new bytes of the same
// size and a new modification time, choosing them from seed: an incremental run's work.
int changeSome(const std::string& folder, int perMille, std::uint64_t seed)
{
    Noise noise(seed | 1);
    std::vector<std::string> pending{folder};
    std::vector<char> data;
    int changed = 0;
    while (!pending.empty()) {
        const std::string current = pending.back();
        pending.pop_back();
        DIR* listing = ::opendir(current.c_str());
        if (listing == nullptr) {
            std::perror(current.c_str());
            return 1;
        }
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string path = current + "/" + name;
            struct stat status {};
            if (::lstat(path.c_str(), &status) != 0)
                continue;
            if (S_ISDIR(status.st_mode)) {
                pending.push_back(path);
            } else if (S_ISREG(status.st_mode) && static_cast<int>(noise.next() % 1000) < perMille) {
                data.resize((static_cast<std::size_t>(status.st_size) + 7) / 8 * 8);
                noise.fill(data);
                writeFile(path, data, static_cast<std::size_t>(status.st_size));
                ++changed;
            }
        }
        ::closedir(listing);
    }
    std::printf("%d files changed\n", changed);
    return 0;
}

int backup(int argc, char** argv)
{
    int at = 2;
    stowmere::backup::BackupSettings settings;
    for (; at < argc && std::strncmp(argv[at], "--", 2) == 0; ++at) {
        if (std::strcmp(argv[at], "--incremental") == 0)
            settings.incremental = true;
        else if (std::strcmp(argv[at], "--inline-scan") == 0)
            settings.parallelScan = false; // the scan between the copies, on one thread
        else if (std::strcmp(argv[at], "--one-copier") == 0)
            settings.parallelCopy = false; // every file copied by the run's own thread
        else
            return 2;
    }
    if (at + 2 > argc)
        return 2;
    settings.destination = argv[at++];
    // The window's closing pause is for the eye, not part of the copy.
    const std::vector<std::string> items(argv + at, argv + argc);
    QuietObserver observer;
    std::atomic<bool> cancel{false};
    const auto result = stowmere::backup::runBackup(settings, items, observer, cancel);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "files=%llu maxrss_kib=%ld\n", static_cast<unsigned long long>(result.filesCopied),
                 usage.ru_maxrss);
    return observer.errors == 0 ? 0 : 1;
}

// Tells when the run has reached the phase to be cancelled: its listing, or a file copy.
class PhaseObserver : public QuietObserver {
public:
    explicit PhaseObserver(bool listing) : m_listing(listing) {}
    void foldersListed(std::size_t) override
    {
        if (m_listing)
            reached = true;
    }
    void copyProgress(const std::string&, std::uint64_t, std::uint64_t) override
    {
        if (!m_listing)
            reached = true;
    }
    std::atomic<bool> reached{false};

private:
    bool m_listing;
};

// How long a run takes to end once Cancel is pressed, with the press coming from another
// thread at a moment of its own, as it does from the window or a signal: PHASE "copy" a
// little after a large file's copy began, "listing" while the folder list is built.
int cancelLatency(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    const bool listing = std::strcmp(argv[2], "listing") == 0;
    stowmere::backup::BackupSettings settings;
    settings.destination = argv[3];
    const std::vector<std::string> items{argv[4]};
    PhaseObserver observer(listing);
    std::atomic<bool> cancel{false};
    std::chrono::steady_clock::time_point pressed;
    std::thread presser([&] {
        while (!observer.reached)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (!listing)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pressed = std::chrono::steady_clock::now();
        cancel = true;
    });
    const auto result = stowmere::backup::runBackup(settings, items, observer, cancel);
    const auto ended = std::chrono::steady_clock::now();
    presser.join();
    // A run that ended before the press (a small file in a quick run) bounds the figure.
    const double latency = std::max(0.0, std::chrono::duration<double, std::milli>(ended - pressed).count());
    std::printf("%.3f\n", latency);
    if (!result.cancelled)
        std::fprintf(stderr, "cancel-latency: the run ended before the cancel\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "gen-large" && argc == 5)
        return generateLarge(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (command == "gen-small" && argc == 6)
        return generateSmall(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    if (command == "gen-small" && argc == 8)
        return generateSmall(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                             std::strtoull(argv[6], nullptr, 10), std::strtoull(argv[7], nullptr, 10));
    if (command == "change" && argc == 5)
        return changeSome(argv[2], std::atoi(argv[3]), std::strtoull(argv[4], nullptr, 10));
    if (command == "backup")
        return backup(argc, argv);
    if (command == "cancel-latency")
        return cancelLatency(argc, argv);
    std::fprintf(
        stderr,
        "usage: backup-bench-driver gen-large FOLDER COUNT MIB\n"
        "       backup-bench-driver gen-small FOLDER FILES FOLDERS DEPTH [MIN_BYTES MAX_BYTES]\n"
        "       backup-bench-driver change FOLDER PER_MILLE SEED\n"
        "       backup-bench-driver backup [--incremental] [--inline-scan] [--one-copier] DEST ITEM...\n"
        "       backup-bench-driver cancel-latency copy|listing DEST ITEM\n");
    return 2;
}
