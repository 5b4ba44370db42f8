// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestMount.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace stowmere::testing {
namespace {

// Runs a program found on PATH (or in /usr/sbin, which a plain user's PATH may lack) and
// returns its exit status, -1 when it could not be started. Its output is dropped.
int runQuietly(std::vector<std::string> words)
{
    for (const std::string& folder : {std::string(), std::string("/usr/sbin/"), std::string("/sbin/")}) {
        std::vector<std::string> call = words;
        call[0] = folder + words[0];
        std::vector<char*> argv;
        for (std::string& word : call)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int error = folder.empty()
                              ? posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ)
                              : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            continue;
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return -1;
}

} // namespace

TestMount::TestMount(Kind kind, std::size_t bytes)
{
    std::filesystem::create_directories(path());
    if (kind == Kind::Fat) {
        mountFat(bytes);
        return;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
        m_mounted = true;
    else
        m_why = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
}

TestMount::~TestMount()
{
    if (m_mounted)
        ::umount2(path().c_str(), MNT_DETACH);
}

void TestMount::mountFat(std::size_t bytes)
{
    const std::string image = (m_folder.path() / "fat.img").string();
    {
        const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const bool sized = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!sized) {
            m_why = "cannot make the FAT image";
            return;
        }
    }
    if (runQuietly({"mkfs.vfat", image}) != 0) {
        m_why = "mkfs.vfat (dosfstools) is missing or failed";
        return;
    }
    // fusefat goes into the background once the volume is mounted.
    if (runQuietly({"fusefat", "-o", "rw+", image, path()}) != 0) {
        m_why = "fusefat is missing or cannot mount here (no /dev/fuse?)";
        return;
    }
    struct statfs info {};
    if (::statfs(path().c_str(), &info) != 0 || info.f_type != 0x65735546) { // FUSE
        m_why = "fusefat did not mount the volume";
        return;
    }
    m_mounted = true;
}

} // namespace stowmere::testing
