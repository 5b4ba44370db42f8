// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"
#include "backup/Restore.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <grp.h>
#include <iostream>
#include <map>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::backup::PreviewEntry;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;
constexpr uid_t kOther = 4321;

bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

// Runs work on a thread of its own and fails the test binary outright if it does not end
// within a minute: a FIFO opened for reading would block it for ever, and the test must
// say so rather than hang.
template <typename Work> auto withinAMinute(Work work) -> decltype(work())
{
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    std::thread(std::move(task)).detach();
    if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        std::cerr << "The run did not end within a minute: something opened a FIFO.\n";
        std::_Exit(1);
    }
    return result.get();
}

// What cp -a keeps of an entry but its inode and access time: kind and bits, owner, group,
// size, the device a node stands for, the number of names and the modification time.
std::string describe(const std::filesystem::path& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return "missing";
    std::string text = "mode " + std::to_string(info.st_mode) + " owner " + std::to_string(info.st_uid) +
                       ":" + std::to_string(info.st_gid) + " names " + std::to_string(info.st_nlink) +
                       " time " + std::to_string(info.st_mtim.tv_sec) + "." +
                       std::to_string(info.st_mtim.tv_nsec);
    if (S_ISREG(info.st_mode))
        text += " size " + std::to_string(info.st_size);
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        text += " device " + std::to_string(major(info.st_rdev)) + "," + std::to_string(minor(info.st_rdev));
    if (S_ISDIR(info.st_mode))
        text = "folder " + text.substr(text.find(" owner")); // a folder's count is its sub-folders'
    return text;
}

// describe() of every entry below root, sockets aside (cp -a makes a dead one, a backup
// lists it), and the names that share one file, each group by its first name.
std::map<std::string, std::string> describeTree(const std::filesystem::path& root)
{
    std::map<std::string, std::string> entries;
    std::map<ino_t, std::string> firstName;
    std::vector<std::string> names;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        const std::string relative = std::filesystem::relative(it->path(), root).string();
        if (relative.starts_with(".stowmere"))
            continue;
        names.push_back(relative);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& relative : names) {
        struct stat info {};
        ::lstat((root / relative).c_str(), &info);
        if (S_ISSOCK(info.st_mode))
            continue;
        std::string text = describe(root / relative);
        if (S_ISREG(info.st_mode) && info.st_nlink > 1)
            text += " same file as " + firstName.try_emplace(info.st_ino, relative).first->second;
        entries[relative] = text;
    }
    return entries;
}

std::string differences(const std::map<std::string, std::string>& expected,
                        const std::map<std::string, std::string>& actual)
{
    std::string text;
    for (const auto& [path, description] : expected) {
        const auto found = actual.find(path);
        if (found == actual.end())
            text += "\n  missing " + path;
        else if (found->second != description)
            text += "\n  " + path + ":\n    expected " + description + "\n    found    " + found->second;
    }
    for (const auto& [path, description] : actual)
        if (!expected.contains(path))
            text += "\n  extra " + path;
    return text;
}

void makeSocket(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    ::close(fd);
}

bool hasReasonFor(const BackupResult& result, const std::string& path, const std::string& words)
{
    return std::any_of(result.notBackedUp.begin(), result.notBackedUp.end(), [&](const auto& entry) {
        return entry.path == path && entry.reason.find(words) != std::string::npos;
    });
}

class FifosAndDevices : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "device nodes and other users' files need root";
        if (tree.path("Data/sock").size() >= sizeof(sockaddr_un::sun_path))
            GTEST_SKIP() << "the temporary folder's path is too long for a socket";
    }

    // FIFOs with bits and owners of their own, a null device, a socket, a file of three
    // names in three folders, and a file whose second name lies outside the item.
    std::string makeTree() const
    {
        const std::string data = tree.folder("Data");
        const std::string pipe = tree.path("Data/pipe");
        EXPECT_EQ(::mkfifo(pipe.c_str(), 0640), 0);
        EXPECT_EQ(::lchown(pipe.c_str(), kOther, kOther), 0);
        tree.setModified("Data/pipe", 1'200'000'000, 5);
        const std::string deep = tree.folder("Data/sub/deeper");
        EXPECT_EQ(::mkfifo((deep + "/queue").c_str(), 0600), 0);
        EXPECT_EQ(::mknod(tree.path("Data/null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        tree.setModified("Data/null", 1'100'000'000);
        makeSocket(tree.path("Data/sock"));
        const std::string first = tree.file("Data/a", "one file, three names", 1'000'000'000);
        EXPECT_EQ(::link(first.c_str(), tree.path("Data/sub/b").c_str()), 0);
        EXPECT_EQ(::link(first.c_str(), tree.path("Data/sub/deeper/c").c_str()), 0);
        const std::string halfInside = tree.file("Data/half", "a name outside too");
        EXPECT_EQ(::link(halfInside.c_str(), tree.path("outside-name").c_str()), 0);
        tree.file("Data/plain", "plain");
        tree.setModified("Data/sub/deeper", 1'000'000'100);
        tree.setModified("Data/sub", 1'000'000'200);
        tree.setModified("Data", 1'000'000'300);
        return data;
    }

    BackupResult backup(const std::string& item, const std::string& destination, bool incremental,
                        bool dryRun = false, int keepVersions = 0)
    {
        BackupSettings settings;
        settings.destination = destination;
        settings.incremental = incremental;
        settings.dryRun = dryRun;
        settings.keepVersions = keepVersions;
        observer = std::make_unique<RecordingObserver>(std::vector<bool>{true});
        return withinAMinute([&] { return BackupEngine(settings, *observer, cancel).runBackup({item}); });
    }

    stowmere::backup::RestoreResult restore(const std::string& item, const std::string& from,
                                            const std::optional<std::string>& to)
    {
        stowmere::backup::RestoreRequest request;
        request.destination = from;
        request.items = {item};
        request.paths = {item};
        request.to = to;
        return withinAMinute([&] {
            stowmere::backup::RestoreObserver quiet;
            return stowmere::backup::restore(request, quiet, cancel);
        });
    }

    TestTree tree;
    std::unique_ptr<RecordingObserver> observer;
    std::atomic<bool> cancel{false};
};

} // namespace

TEST_F(FifosAndDevices, FullAndIncrementalRunsMakeWhatCpAMakes)
{
    const std::string data = makeTree();
    ASSERT_TRUE(run("cp -a " + quoted(data) + " " + quoted(tree.path("reference"))));
    // The file with a name outside the item has one name in the copy, as cp -a makes it.
    const auto reference = describeTree(tree.path("reference"));
    ASSERT_NE(reference.find("pipe"), reference.end());

    const std::string backupFolder = tree.folder("backup");
    BackupResult result = backup(data, backupFolder, false);
    EXPECT_FALSE(result.copyFailed) << result.failureReason;
    EXPECT_EQ(differences(reference, describeTree(tree.path("backup/Data"))), "");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(tree.path("backup/Data/sock"))));
    EXPECT_TRUE(hasReasonFor(result, tree.path("Data/sock"), "socket"));
    EXPECT_EQ(result.notBackedUp.size(), 1u);

    // Nothing changed: nothing is made again, and every name still shares its file.
    result = backup(data, backupFolder, true);
    EXPECT_EQ(result.filesCopied, 0u);
    EXPECT_EQ(differences(reference, describeTree(tree.path("backup/Data"))), "");
}

TEST_F(FifosAndDevices, AnIncrementalRunJoinsSeparateCopiesOfOneFileAndMakesChangedSpecialsAgain)
{
    const std::string data = makeTree();
    const std::string backupFolder = tree.folder("backup");
    backup(data, backupFolder, false);
    // A copy made apart from its file's other names (as before hard links were kept), a new
    // name of the file, a FIFO that became a device, and a device that became a FIFO.
    const std::string apart = tree.path("backup/Data/sub/b");
    std::filesystem::remove(apart);
    std::filesystem::copy_file(tree.path("Data/a"), apart);
    tree.setModified("backup/Data/sub/b", 1'000'000'000);
    ASSERT_EQ(::link(tree.path("Data/a").c_str(), tree.path("Data/sub/deeper/fourth").c_str()), 0);
    std::filesystem::remove(tree.path("Data/pipe"));
    ASSERT_EQ(::mknod(tree.path("Data/pipe").c_str(), S_IFBLK | 0600, makedev(7, 0)), 0);
    std::filesystem::remove(tree.path("Data/null"));
    ASSERT_EQ(::mkfifo(tree.path("Data/null").c_str(), 0644), 0);
    tree.setModified("Data", 1'000'000'300);
    ASSERT_TRUE(run("cp -a " + quoted(data) + " " + quoted(tree.path("reference"))));
    const auto reference = describeTree(tree.path("reference"));

    const BackupResult result = backup(data, backupFolder, true, false, 3);
    EXPECT_FALSE(result.copyFailed) << result.failureReason;
    EXPECT_EQ(differences(reference, describeTree(tree.path("backup/Data"))), "");
    // The separate copy and both replaced specials are kept as versions.
    std::vector<std::string> kept;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(tree.path("backup/.stowmere-versions")))
        if (!entry.is_directory())
            kept.push_back(entry.path().filename().string());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"b", "null", "pipe"}));
}

TEST_F(FifosAndDevices, APreviewListsSpecialsWithTheirOwnKinds)
{
    const std::string data = makeTree();
    tree.folder("backup");
    backup(data, tree.path("backup"), false, true);
    std::map<std::string, std::string> told;
    for (const PreviewEntry& entry : observer->previews)
        told[entry.source] = std::string(stowmere::backup::previewKindName(entry.kind)) + " " + entry.becomes;
    EXPECT_EQ(told[tree.path("Data/pipe")], "fifo ");
    EXPECT_EQ(told[tree.path("Data/sub/deeper/queue")], "fifo ");
    EXPECT_EQ(told[tree.path("Data/null")], "device character device");
    EXPECT_EQ(told[tree.path("Data/sock")], "unreadable ");
    EXPECT_FALSE(std::filesystem::exists(tree.path("backup/Data")));
    // The three names of one file copy its bytes once, as the run does; the file with a
    // name outside the item and the plain file are copied whole.
    const std::uint64_t bytes = std::string("one file, three names").size() +
                                std::string("a name outside too").size() + std::string("plain").size();
    EXPECT_EQ(backup(data, tree.path("backup"), false, true).preview.bytes, bytes);
    EXPECT_EQ(backup(data, tree.path("backup"), false).bytesCopied, bytes);
    std::filesystem::remove_all(tree.path("backup/Data"));

    // Once made, an incremental preview finds them up to date; a special in a file's place
    // is a change of kind.
    backup(data, tree.path("backup"), false);
    std::filesystem::remove(tree.path("backup/Data/pipe"));
    tree.file("backup/Data/pipe", "a file where the FIFO was");
    backup(data, tree.path("backup"), true, true);
    told.clear();
    for (const PreviewEntry& entry : observer->previews)
        told[entry.source] = std::string(stowmere::backup::previewKindName(entry.kind)) + " " + entry.was +
                             " " + entry.becomes;
    EXPECT_EQ(told[tree.path("Data/pipe")], "replace file fifo");
    EXPECT_EQ(told[tree.path("Data/null")], "same  ");
    EXPECT_EQ(told[tree.path("Data/sub/deeper/queue")], "same  ");
}

TEST_F(FifosAndDevices, AnOrdinaryUserGetsTheFifosAndIsToldOfTheDevices)
{
    const std::string data = makeTree();
    ::chmod(tree.root().c_str(), 0755);
    const std::string backupFolder = tree.folder("backup");
    ASSERT_EQ(::chown(backupFolder.c_str(), kNobody, kNoGroup), 0);

    // The user runs it with only their own group, as setpriv --reuid=nobody --regid=nogroup
    // --clear-groups would start it.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kNoGroup, kNoGroup, kNoGroup) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0)
            ::_exit(90);
        BackupSettings settings;
        settings.destination = backupFolder;
        RecordingObserver user({true});
        std::atomic<bool> stop{false};
        const BackupResult result =
            withinAMinute([&] { return BackupEngine(settings, user, stop).runBackup({data}); });
        if (result.copyFailed)
            ::_exit(91);
        if (!hasReasonFor(result, data + "/null", "only root") ||
            !hasReasonFor(result, data + "/sock", "socket"))
            ::_exit(92);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "90: no such user, 91: the run failed, 92: the device not told";

    struct stat copy {};
    ASSERT_EQ(::lstat(tree.path("backup/Data/pipe").c_str(), &copy), 0);
    EXPECT_TRUE(S_ISFIFO(copy.st_mode));
    EXPECT_EQ(copy.st_uid, kNobody) << "the user cannot give it away";
    EXPECT_EQ(copy.st_mode & 07777, 0640u);
    EXPECT_EQ(copy.st_mtim.tv_sec, 1'200'000'000);
    EXPECT_EQ(::lstat(tree.path("backup/Data/null").c_str(), &copy), -1);
    // The user's copy still keeps the three names as one file.
    struct stat a {};
    struct stat c {};
    ASSERT_EQ(::lstat(tree.path("backup/Data/a").c_str(), &a), 0);
    ASSERT_EQ(::lstat(tree.path("backup/Data/sub/deeper/c").c_str(), &c), 0);
    EXPECT_EQ(a.st_ino, c.st_ino);
}

TEST_F(FifosAndDevices, ARestorePutsBackWhatCpAMakesAndLeavesWhatIsThereAlone)
{
    const std::string data = makeTree();
    ASSERT_TRUE(run("cp -a " + quoted(data) + " " + quoted(tree.path("reference"))));
    const auto reference = describeTree(tree.path("reference"));
    const std::string backupFolder = tree.folder("backup");
    ASSERT_FALSE(backup(data, backupFolder, false).copyFailed);

    const std::string restored = tree.folder("restored");
    stowmere::backup::RestoreResult result = restore(data, backupFolder, restored);
    EXPECT_FALSE(result.writeFailed) << result.failure;
    EXPECT_TRUE(result.unreadable.empty());
    EXPECT_EQ(differences(reference, describeTree(tree.path("restored/Data"))), "");

    // Restored again over itself: every FIFO, device and name of the shared file is there.
    result = restore(data, backupFolder, restored);
    EXPECT_EQ(result.restored, 0u);
    EXPECT_TRUE(result.kept.empty());

    // A file where a FIFO belongs is kept unless asked, then replaced.
    std::filesystem::remove(tree.path("restored/Data/pipe"));
    tree.file("restored/Data/pipe", "the user's own file");
    result = restore(data, backupFolder, restored);
    EXPECT_EQ(result.kept, std::vector<std::string>{tree.path("restored/Data/pipe")});
    EXPECT_TRUE(std::filesystem::is_regular_file(tree.path("restored/Data/pipe")));
}
