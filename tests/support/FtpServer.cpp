#include "tests/support/FtpServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr auto startLimit = std::chrono::seconds(20);

// Reads the server's first line ("PORT <n>") within the start limit.
std::string readFirstLine(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + startLimit;
    std::string line;
    char byte = 0;
    while (line.empty() || line.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            throw std::runtime_error("FTP server did not report its port in time");
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t got = read(fd, &byte, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            throw std::runtime_error("FTP server ended before it was ready (is python3-pyftpdlib "
                                     "installed for /usr/bin/python3?) " +
                                     line);
        }
        line += byte;
    }
    return line;
}

} // namespace

FtpServer::FtpServer()
    : FtpServer(Options{}) {}

FtpServer::FtpServer(Options options)
    : options_(options) {
    std::filesystem::create_directory(home());
    launch(0);
}

FtpServer::~FtpServer() {
    stop();
}

void FtpServer::stop() {
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

void FtpServer::restart() {
    stop();
    launch(port_);
}

void FtpServer::launch(std::uint16_t port) {
    std::vector<std::string> args = {"/usr/bin/python3",
                                     KAVRI_FTP_SERVER_SCRIPT,
                                     "--port",
                                     std::to_string(port),
                                     "--home",
                                     home().string(),
                                     "--user",
                                     user_,
                                     "--password",
                                     password_,
                                     "--log",
                                     (dir_.path() / "server.log").string(),
                                     "--throttle",
                                     std::to_string(options_.uploadBytesPerS)};
    if (options_.mode == Mode::Silent) {
        args.emplace_back("--silent");
    }
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("cannot make a pipe for the FTP server");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        pid_ = -1;
        close(fds[0]);
        throw std::runtime_error("cannot run /usr/bin/python3 for the FTP server");
    }
    std::string line;
    try {
        line = readFirstLine(fds[0]);
    } catch (...) {
        close(fds[0]);
        stop();
        throw;
    }
    close(fds[0]);
    if (line.rfind("PORT ", 0) != 0) {
        stop();
        throw std::runtime_error("FTP server could not start: " + line);
    }
    port_ = static_cast<std::uint16_t>(std::stoi(line.substr(5)));
}

int FtpServer::countLines(const std::string& prefix) const {
    std::ifstream log(dir_.path() / "server.log");
    int count = 0;
    std::string line;
    while (std::getline(log, line)) {
        if (line.rfind(prefix, 0) == 0) {
            ++count;
        }
    }
    return count;
}

int FtpServer::connectionCount() const {
    return countLines("CONNECTED");
}

int FtpServer::loginCount() const {
    return countLines("LOGIN ");
}

int FtpServer::failedLoginCount() const {
    return countLines("FAILED ");
}

int FtpServer::storedCount() const {
    return countLines("STORED ");
}
