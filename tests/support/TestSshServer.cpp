// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSshServer.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace stowmere::testing {

namespace {

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

pid_t spawn(const std::vector<std::string>& words, const std::string& log)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (out >= 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

} // namespace

std::string runShell(const std::string& command, int* status)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        if (status)
            *status = -1;
        return output;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), got);
    const int result = ::pclose(pipe);
    if (status)
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

TestSshServer::TestSshServer(Kind kind, const std::string& rcloneRoot)
{
    if (const passwd* entry = ::getpwuid(::getuid()))
        m_user = entry->pw_name;
    const std::string base = m_folder.str();
    std::filesystem::create_directories(home() + "/.ssh");
    ::chmod((home() + "/.ssh").c_str(), 0700);
    int status = 0;
    runShell("ssh-keygen -q -t ed25519 -N '' -C host -f " + quoted(base + "/host_key") + " </dev/null",
             &status);
    runShell("ssh-keygen -q -t ed25519 -N '' -C user -f " + quoted(home() + "/.ssh/id_ed25519") +
             " </dev/null");
    if (status != 0) {
        m_why = "ssh-keygen failed";
        return;
    }
    std::filesystem::copy_file(home() + "/.ssh/id_ed25519.pub", base + "/authorized_keys");
    m_hostKey = readAll(base + "/host_key.pub");
    m_hostKey = m_hostKey.substr(0, m_hostKey.rfind(' '));
    const std::string fingerprint = runShell("ssh-keygen -l -E sha256 -f " + quoted(base + "/host_key.pub"));
    if (const std::size_t from = fingerprint.find("SHA256:"); from != std::string::npos)
        m_hostFingerprint = fingerprint.substr(from, fingerprint.find(' ', from) - from);
    m_port = freePort();
    if (kind == Kind::OpenSsh)
        startOpenSsh();
    else
        startRclone(rcloneRoot);
}

void TestSshServer::startOpenSsh()
{
    const std::string base = m_folder.str();
    if (::access("/usr/sbin/sshd", X_OK) != 0) {
        m_why = "no /usr/sbin/sshd (openssh-server)";
        return;
    }
    // sshd started as root wants its privilege-separation folder.
    if (::geteuid() == 0)
        ::mkdir("/run/sshd", 0755);
    m_pid = spawn({"/usr/sbin/sshd",
                   "-D",
                   "-e",
                   "-f",
                   "/dev/null",
                   "-p",
                   std::to_string(m_port),
                   "-o",
                   "ListenAddress=127.0.0.1",
                   "-o",
                   "HostKey=" + base + "/host_key",
                   "-o",
                   "AuthorizedKeysFile=" + base + "/authorized_keys",
                   "-o",
                   "StrictModes=no",
                   "-o",
                   "PidFile=none",
                   "-o",
                   "UsePAM=no",
                   "-o",
                   "PasswordAuthentication=no",
                   "-o",
                   "KbdInteractiveAuthentication=no",
                   "-o",
                   "PermitRootLogin=prohibit-password",
                   "-o",
                   "Subsystem=sftp internal-sftp",
                   "-o",
                   "MaxStartups=100",
                   "-o",
                   "LogLevel=ERROR"},
                  base + "/server.log");
    if (!waitForPort())
        m_why = "sshd did not start: " + readAll(base + "/server.log");
}

void TestSshServer::startRclone(const std::string& root)
{
    const std::string base = m_folder.str();
    if (::access("/usr/bin/rclone", X_OK) != 0) {
        m_why = "no /usr/bin/rclone";
        return;
    }
    // The tests make and change trees on the disk behind the server's back: its listings
    // must not be remembered from one test to the next.
    m_pid = spawn({"/usr/bin/rclone", "--config", base + "/rclone.conf", "serve", "sftp", root, "--addr",
                   "127.0.0.1:" + std::to_string(m_port), "--key", base + "/host_key", "--authorized-keys",
                   base + "/authorized_keys", "--user", m_user, "--dir-cache-time", "0s"},
                  base + "/server.log");
    if (!waitForPort())
        m_why = "rclone did not start: " + readAll(base + "/server.log");
}

bool TestSshServer::waitForPort()
{
    // Up to about ten seconds: the server is ready when it accepts a connection.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(m_port));
        const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (connected)
            return true;
        // Nothing to wait on but the port itself.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TestSshServer::~TestSshServer()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

TestSshServer& TestSshServer::shared()
{
    static TestSshServer server;
    return server;
}

std::string TestSshServer::url(const std::string& path) const
{
    return "sftp://" + m_user + "@127.0.0.1:" + std::to_string(m_port) + path;
}

void TestSshServer::setKnown(Known known) const
{
    const std::string file = home() + "/.ssh/known_hosts";
    std::filesystem::remove(file);
    std::filesystem::remove(file + ".old");
    if (known == Known::Nothing)
        return;
    std::string key = m_hostKey;
    if (known == Known::OtherKey) {
        const std::string other = m_folder.str() + "/other_key";
        if (!std::filesystem::exists(other))
            runShell("ssh-keygen -q -t ed25519 -N '' -f " + quoted(other) + " </dev/null");
        key = readAll(other + ".pub");
        key = key.substr(0, key.rfind(' '));
    }
    {
        std::ofstream out(file);
        out << "[127.0.0.1]:" << m_port << ' ' << key << '\n';
    }
    if (known == Known::HashedKey)
        runShell("ssh-keygen -q -H -f " + quoted(file) + " >/dev/null 2>&1");
}

void TestSshServer::setUserKeyPassphrase(const std::string& passphrase) const
{
    const std::string key = home() + "/.ssh/id_ed25519";
    std::filesystem::remove(key);
    std::filesystem::remove(key + ".pub");
    runShell("ssh-keygen -q -t ed25519 -N " + quoted(passphrase) + " -C user -f " + quoted(key) +
             " </dev/null");
    std::filesystem::copy_file(key + ".pub", m_folder.str() + "/authorized_keys",
                               std::filesystem::copy_options::overwrite_existing);
}

void TestSshServer::dropConnections() const
{
    // Every process the server started for a connection descends from it.
    std::vector<std::pair<pid_t, pid_t>> processes; // pid, parent
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = readAll(entry.path().string() + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        fields >> state >> parent;
        processes.emplace_back(static_cast<pid_t>(std::stol(name)), parent);
    }
    std::vector<pid_t> below{m_pid};
    for (std::size_t at = 0; at < below.size(); ++at)
        for (const auto& [pid, parent] : processes)
            if (parent == below[at])
                below.push_back(pid);
    for (std::size_t at = 1; at < below.size(); ++at)
        ::kill(below[at], SIGKILL);
}

} // namespace stowmere::testing
