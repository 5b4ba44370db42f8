// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace stowmere::cli::test {

std::string cliExecutable()
{
    return STOWMERE_CLI_EXECUTABLE;
}

ChildProcess::ChildProcess(const std::string& executable, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& extraEnvironment)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    // Everything the child needs is built before fork: only async-signal-safe calls after it.
    std::vector<std::string> argStrings{executable};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : argStrings)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    // A setting given here replaces the inherited one of the same name (getenv would find
    // whichever comes first), and a later one given here replaces an earlier one.
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    auto givenLater = [&](std::size_t from, const std::string& name) {
        for (std::size_t i = from; i < extraEnvironment.size(); ++i)
            if (nameOf(extraEnvironment[i]) == name)
                return true;
        return false;
    };
    std::vector<std::string> envStrings;
    for (char** entry = environ; *entry; ++entry)
        if (!givenLater(0, nameOf(*entry)))
            envStrings.emplace_back(*entry);
    for (std::size_t i = 0; i < extraEnvironment.size(); ++i)
        if (!givenLater(i + 1, nameOf(extraEnvironment[i])))
            envStrings.push_back(extraEnvironment[i]);
    std::vector<char*> envp;
    for (std::string& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        ::setpgid(0, 0);
        const int nullFd = ::open("/dev/null", O_RDONLY);
        ::dup2(nullFd, STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        // The test runner may ignore SIGINT; the child must start with the default action.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGHUP, SIG_DFL);
        ::execve(executable.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    m_outFd = outPipe[0];
    m_errFd = errPipe[0];
}

ChildProcess::~ChildProcess()
{
    if (!m_reaped && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
    }
    if (m_outFd >= 0)
        ::close(m_outFd);
    if (m_errFd >= 0)
        ::close(m_errFd);
}

bool ChildProcess::pump(int timeoutMs)
{
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    const nfds_t count = 2;
    if (m_outFd < 0 && m_errFd < 0)
        return false;
    const int ready = ::poll(fds, count, timeoutMs);
    if (ready < 0 && errno != EINTR)
        throw std::runtime_error("poll failed");
    if (ready <= 0)
        return true;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            (i == 0 ? m_out : m_err).append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(fds[i].fd);
            (i == 0 ? m_outFd : m_errFd) = -1;
        }
    }
    return m_outFd >= 0 || m_errFd >= 0;
}

bool ChildProcess::waitForError(const std::string& text, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_err.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (!pump(20))
            return m_err.find(text) != std::string::npos;
    }
    return true;
}

void ChildProcess::sendSignal(int signalNumber)
{
    ::kill(m_pid, signalNumber);
}

ProcessResult ChildProcess::finish(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pump(50)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            break;
        }
    }
    ::waitpid(m_pid, &m_status, 0);
    m_reaped = true;
    ProcessResult result;
    result.out = m_out;
    result.err = m_err;
    if (WIFEXITED(m_status))
        result.exitCode = WEXITSTATUS(m_status);
    if (WIFSIGNALED(m_status))
        result.signal = WTERMSIG(m_status);
    return result;
}

ProcessResult ChildProcess::run(const std::string& executable, const std::vector<std::string>& arguments,
                                const std::vector<std::string>& extraEnvironment)
{
    ChildProcess child(executable, arguments, extraEnvironment);
    return child.finish();
}

} // namespace stowmere::cli::test
