// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace stowmere::cli::test {

/// What a finished child process left behind.
struct ProcessResult {
    int exitCode = -1; ///< the exit status, or -1 when a signal ended it
    int signal = 0;    ///< the signal that ended it, or 0
    std::string out;   ///< everything written to standard output
    std::string err;   ///< everything written to standard error
};

/// Runs an executable as a child process with its standard output and error captured.
/// Standard input is /dev/null. The child starts in its own process group so a test can
/// send it a signal the way a terminal's Ctrl-C does without hitting the test itself.
class ChildProcess {
public:
    ChildProcess(const std::string& executable, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& extraEnvironment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// Reads output until standard error contains text or the child ends; true when seen.
    bool waitForError(const std::string& text, std::chrono::milliseconds timeout);
    void sendSignal(int signalNumber);
    /// Waits for the end (killing the child after the timeout) and returns what it left.
    ProcessResult finish(std::chrono::milliseconds timeout = std::chrono::seconds(60));

    /// Starts, waits and returns in one call.
    static ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& extraEnvironment = {});

private:
    /// Moves what the pipes hold into the buffers; false when both are closed.
    bool pump(int timeoutMs);

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    std::string m_out;
    std::string m_err;
    bool m_reaped = false;
    int m_status = 0;
};

/// The stowmere-cli executable of this build.
std::string cliExecutable();

} // namespace stowmere::cli::test
