// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/SystemdUser.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace stowmere::catalog {
namespace {

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

SystemdUser::Outcome SystemdUser::run(const std::vector<std::string>& arguments)
{
    std::vector<std::string> words{"systemctl", "--user"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return {false, std::string("cannot start systemctl: ") + std::strerror(errno)};
    files::UniqueFd readEnd(pipeFds[0]);
    files::UniqueFd writeEnd(pipeFds[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    pid_t pid = -1;
    const int spawnError = posix_spawnp(&pid, "systemctl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (spawnError != 0) {
        if (spawnError == ENOENT)
            return {false, "systemctl is not installed"};
        return {false, std::string("cannot start systemctl: ") + std::strerror(spawnError)};
    }

    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(readEnd.get(), buffer, sizeof buffer);
        if (count > 0)
            output.append(buffer, static_cast<std::size_t>(count));
        else if (count == 0 || errno != EINTR)
            break;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return {succeeded, trimmed(std::move(output))};
}

} // namespace stowmere::catalog
