// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"
#include "backup/Restore.h"

#include "RecordingObserver.h"
#include "support/TestMount.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestMount;
using stowmere::testing::TestTree;

namespace {

constexpr uid_t kOther = 4321;
constexpr gid_t kOtherGroup = 5432;

bool isRoot()
{
    return ::geteuid() == 0;
}

bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

// Everything cp -a keeps of an entry but its inode and access time: kind and bits, owner,
// group, data or link text, modification time and every extended attribute.
std::string describe(const std::filesystem::path& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return "missing";
    std::string text = "mode " + std::to_string(info.st_mode) + " owner " + std::to_string(info.st_uid) +
                       ":" + std::to_string(info.st_gid) + " time " + std::to_string(info.st_mtim.tv_sec) +
                       "." + std::to_string(info.st_mtim.tv_nsec);
    if (S_ISREG(info.st_mode))
        text += " size " + std::to_string(info.st_size);
    if (S_ISLNK(info.st_mode))
        text += " -> " + std::filesystem::read_symlink(path).string();
    std::string names(4096, '\0');
    const ssize_t length = ::llistxattr(path.c_str(), names.data(), names.size());
    names.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    std::map<std::string, std::string> attributes;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const std::string name = names.c_str() + at;
        std::string value(4096, '\0');
        const ssize_t got = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
        value.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        attributes[name] = value;
    }
    for (const auto& [name, value] : attributes)
        text += " [" + name + "=" + std::to_string(std::hash<std::string>{}(value)) + "]";
    return text;
}

// describe() of every entry below root, by its path below root.
std::map<std::string, std::string> describeTree(const std::filesystem::path& root)
{
    std::map<std::string, std::string> entries;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        const std::string relative = std::filesystem::relative(it->path(), root).string();
        // The destination's own files are no part of the copy.
        if (relative.starts_with(".stowmere"))
            continue;
        entries[relative] = describe(it->path());
    }
    return entries;
}

// Lists every entry where a and b differ, for a readable failure.
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

void own(const std::string& path, uid_t owner, gid_t group)
{
    ASSERT_EQ(::lchown(path.c_str(), owner, group), 0) << path;
}

void setAttribute(const std::string& path, const std::string& name, const std::string& value)
{
    ASSERT_EQ(::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0), 0)
        << path << " " << name;
}

// A tree with what a backup of /etc or /usr/lib meets: files and folders of other users
// and groups, a set-uid program of another user, attributes, ACLs (default ones too), a
// file capability, links with owners of their own, and folders with times of their own.
std::string makeRichTree(const TestTree& tree)
{
    const std::string data = tree.folder("Data");
    tree.file("Data/plain.txt", "plain");
    own(tree.file("Data/theirs.txt", "theirs"), kOther, kOtherGroup);
    const std::string program = tree.file("Data/bin/tool", "#!/bin/sh\nid -u\n");
    own(program, kOther, kOtherGroup);
    ::chmod(program.c_str(), 04755);
    const std::string shared = tree.file("Data/bin/shared", "group program");
    own(shared, 0, kOtherGroup);
    ::chmod(shared.c_str(), 02750);
    setAttribute(tree.file("Data/tagged.txt", "tagged"), "user.origin", "https://example.org/file");
    const std::string private600 = tree.file("Data/home/notes.txt", "mine alone");
    ::chmod(private600.c_str(), 0600);
    own(private600, kOther, kOther);
    own(tree.path("Data/home"), kOther, kOther);
    EXPECT_TRUE(
        run("setfacl -m u:" + std::to_string(kOther) + ":rw " + quoted(tree.file("Data/acl.txt", "acl"))));
    tree.folder("Data/team/inner");
    EXPECT_TRUE(
        run("setfacl -d -m g:" + std::to_string(kOtherGroup) + ":rwx " + quoted(tree.path("Data/team"))));
    tree.file("Data/team/inner/made-inside.txt", "inherits the default ACL");
    EXPECT_TRUE(run("setcap cap_net_raw+ep " + quoted(tree.file("Data/bin/ping", "capable"))));
    std::filesystem::create_symlink("plain.txt", tree.path("Data/link"));
    own(tree.path("Data/link"), kOther, kOtherGroup);
    ::chmod(tree.path("Data/team").c_str(), 02775);
    // Folder times last, deepest first, as anything made inside would change them.
    tree.setModified("Data/team/inner", 1'000'000'000, 123);
    tree.setModified("Data/team", 1'100'000'000, 456);
    tree.setModified("Data/home", 1'200'000'000);
    tree.setModified("Data/bin", 1'300'000'000);
    return data;
}

class MetadataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!isRoot())
            GTEST_SKIP() << "owners, capabilities and other users' files need root";
        if (!run("command -v setfacl >/dev/null && command -v setcap >/dev/null"))
            GTEST_SKIP() << "setfacl and setcap are not installed";
    }

    BackupResult backup(const std::string& item, const std::string& destination, bool incremental = false)
    {
        BackupSettings settings;
        settings.destination = destination;
        settings.incremental = incremental;
        observer.checks.assign(1, true);
        return BackupEngine(settings, observer, cancel).runBackup({item});
    }

    TestTree tree;
    RecordingObserver observer{{}};
    std::atomic<bool> cancel{false};
};

} // namespace

TEST_F(MetadataTest, ABackupKeepsWhatCpAKeepsAndARestorePutsItBack)
{
    const std::string data = makeRichTree(tree);
    ASSERT_TRUE(run("cp -a " + quoted(data) + " " + quoted(tree.path("reference"))));
    const auto reference = describeTree(tree.path("reference"));
    ASSERT_EQ(differences(describeTree(data), reference), "") << "cp -a itself differs from the source";

    const BackupResult result = backup(data, tree.folder("backup"));
    EXPECT_FALSE(result.copyFailed) << result.failureReason;
    EXPECT_TRUE(result.notKept.empty()) << result.notKept.front();
    EXPECT_EQ(differences(reference, describeTree(tree.path("backup/Data"))), "");

    // Back into a fresh place, and over the original tree after it is gone.
    stowmere::backup::RestoreRequest request;
    request.destination = tree.path("backup");
    request.items = {data};
    request.paths = {data};
    request.to = tree.folder("restored");
    stowmere::backup::RestoreObserver restoreObserver;
    stowmere::backup::RestoreResult restored = stowmere::backup::restore(request, restoreObserver, cancel);
    EXPECT_FALSE(restored.writeFailed) << restored.failure;
    EXPECT_TRUE(restored.notKept.empty());
    EXPECT_EQ(differences(reference, describeTree(tree.path("restored/Data"))), "");

    std::filesystem::remove_all(data);
    request.to.reset();
    restored = stowmere::backup::restore(request, restoreObserver, cancel);
    EXPECT_FALSE(restored.writeFailed) << restored.failure;
    EXPECT_EQ(differences(reference, describeTree(data)), "");
}

TEST_F(MetadataTest, ADestinationsDefaultAclReachesNoCopyAsCpALeavesIt)
{
    // Files made in a folder with a default ACL inherit it; a copy of a file without an
    // ACL must come out without one all the same, wherever its temporary was made.
    const std::string data = makeRichTree(tree);
    const std::string acl = "setfacl -d -m u:" + std::to_string(kOther) + ":rwx ";
    ASSERT_TRUE(run(acl + quoted(tree.folder("reference"))));
    ASSERT_TRUE(run("cp -a " + quoted(data) + " " + quoted(tree.path("reference"))));
    const std::string backupFolder = tree.folder("backup");
    ASSERT_TRUE(run(acl + quoted(backupFolder)));

    const BackupResult result = backup(data, backupFolder);
    EXPECT_FALSE(result.copyFailed) << result.failureReason;
    EXPECT_EQ(differences(describeTree(tree.path("reference/Data")), describeTree(tree.path("backup/Data"))),
              "");
}

TEST_F(MetadataTest, ADestinationWithSetGidGivesNoCopyItsGroupAsCpALeavesIt)
{
    // Files made in a set-gid folder take the folder's group, not the maker's: a copy of a
    // root:root file must still come out root:root, as with cp -a.
    const std::string data = makeRichTree(tree);
    for (const char* folder : {"reference", "backup"}) {
        const std::string path = tree.folder(folder);
        own(path, 0, kOtherGroup);
        ASSERT_EQ(::chmod(path.c_str(), 02775), 0);
    }
    ASSERT_TRUE(run("cp -a " + quoted(data) + " " + quoted(tree.path("reference"))));
    const BackupResult result = backup(data, tree.path("backup"));
    EXPECT_FALSE(result.copyFailed) << result.failureReason;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.path("reference/Data"))) {
        if (!entry.is_regular_file())
            continue;
        const std::string relative = entry.path().lexically_relative(tree.path("reference")).string();
        struct stat expected {};
        struct stat found {};
        ASSERT_EQ(::stat(entry.path().c_str(), &expected), 0);
        ASSERT_EQ(::stat(tree.path("backup/" + relative).c_str(), &found), 0) << relative;
        EXPECT_EQ(found.st_uid, expected.st_uid) << relative;
        EXPECT_EQ(found.st_gid, expected.st_gid) << relative;
        EXPECT_EQ(found.st_mode, expected.st_mode) << relative;
        ++files;
    }
    EXPECT_GE(files, 9u);
    struct stat plain {};
    ASSERT_EQ(::stat(tree.path("backup/Data/plain.txt").c_str(), &plain), 0);
    EXPECT_EQ(plain.st_gid, 0u);
}

TEST_F(MetadataTest, ASetUidProgramOfAnotherUserNeverBecomesSetUidRoot)
{
    const std::string program = tree.file("Data/tool", "program");
    own(program, kOther, kOtherGroup);
    ::chmod(program.c_str(), 04755);

    backup(tree.path("Data"), tree.folder("backup"));
    struct stat copy {};
    ASSERT_EQ(::lstat(tree.path("backup/Data/tool").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_uid, kOther);
    EXPECT_EQ(copy.st_gid, kOtherGroup);
    EXPECT_EQ(copy.st_mode & 07777, 04755u);
}

TEST_F(MetadataTest, FolderTimesSurviveAnIncrementalRunThatChangesTheirFiles)
{
    const std::string data = makeRichTree(tree);
    const std::string backupFolder = tree.folder("backup");
    backup(data, backupFolder);
    // A changed file (its folder's time stays) and a new folder (the time of its parent
    // moves): the copies' folders follow the sources' again once the run is done.
    tree.file("Data/team/inner/made-inside.txt", "changed, and longer than before");
    tree.setModified("Data/team/inner", 1'000'000'000, 123);
    tree.folder("Data/bin/new");
    tree.setModified("Data/bin", 1'300'000'500);

    const BackupResult result = backup(data, backupFolder, true);
    EXPECT_EQ(result.filesCopied, 1u);
    EXPECT_EQ(differences(describeTree(data), describeTree(tree.path("backup/Data"))), "");
}

TEST_F(MetadataTest, AnOrdinaryUserKeepsWhatTheyMayAndIsToldOnceWhatTheyMayNot)
{
    const std::string data = tree.folder("Data");
    for (int i = 0; i < 5; ++i)
        own(tree.file("Data/root-" + std::to_string(i) + ".txt", "readable by all"), 0, 0);
    const std::string program = tree.file("Data/setuid-root", "program");
    ::chmod(program.c_str(), 04755);
    const std::string mine = tree.file("Data/mine.txt", "mine");
    own(mine, kOther, kOtherGroup);
    setAttribute(mine, "user.note", "kept");
    const std::string backupFolder = tree.folder("backup");
    own(backupFolder, kOther, kOtherGroup);
    ::chmod(tree.root().c_str(), 0755);

    // The user runs it, with only their own group: setpriv's view of an ordinary user.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kOtherGroup, kOtherGroup, kOtherGroup) != 0 ||
            ::setresuid(kOther, kOther, kOther) != 0)
            ::_exit(90);
        BackupSettings settings;
        settings.destination = backupFolder;
        RecordingObserver user({true});
        std::atomic<bool> stop{false};
        const BackupResult result = BackupEngine(settings, user, stop).runBackup({data});
        if (result.copyFailed || result.filesCopied != 7)
            ::_exit(91);
        // Once a run, not once a file.
        if (result.notKept.size() != 1 || result.notKept.front().find("Owners and groups") != 0)
            ::_exit(92);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "90: no such user, 91: the run failed, 92: not told once";

    struct stat copy {};
    ASSERT_EQ(::lstat(tree.path("backup/Data/setuid-root").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_uid, kOther);
    EXPECT_EQ(copy.st_mode & 07777, 0755u) << "a copy owned by the user must not stay set-uid";
    ASSERT_EQ(::lstat(tree.path("backup/Data/mine.txt").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_uid, kOther);
    EXPECT_EQ(copy.st_gid, kOtherGroup);
    EXPECT_EQ(describe(tree.path("backup/Data/mine.txt")), describe(mine));
}

TEST_F(MetadataTest, ADriveWithoutOwnersOrAttributesTakesTheDataAndSaysSoOnce)
{
    TestMount fat(TestMount::Kind::Fat, 8 * 1024 * 1024);
    if (!fat.mounted())
        GTEST_SKIP() << fat.why();
    const std::string data = tree.folder("Data");
    for (int i = 0; i < 4; ++i) {
        const std::string file = tree.file("Data/sub/file" + std::to_string(i) + ".txt", "data");
        own(file, kOther, kOtherGroup);
        setAttribute(file, "user.note", "cannot go to FAT");
    }
    own(tree.path("Data/sub"), kOther, kOtherGroup);

    const BackupResult result = backup(data, fat.path());
    EXPECT_FALSE(result.copyFailed) << result.failureReason;
    EXPECT_EQ(result.filesCopied, 4u);
    std::ifstream copy(fat.path() + "/Data/sub/file3.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), "data");
    ASSERT_FALSE(result.notKept.empty());
    EXPECT_LE(result.notKept.size(), 3u) << "told once a run for each part, not once a file";
    EXPECT_EQ(
        std::count(observer.information.begin(), observer.information.end(), observer.information.back()), 1);
}
