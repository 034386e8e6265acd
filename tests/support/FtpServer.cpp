#include "tests/support/FtpServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr auto startLimit = std::chrono::seconds(20);
const char* const vsftpdProgram = "/usr/sbin/vsftpd";

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

std::uint16_t freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool found = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    close(fd);
    if (!found) {
        throw std::runtime_error("no free port for the FTP server");
    }
    return ntohs(address.sin_port);
}

// Whether something listens on 127.0.0.1:port, read from the kernel's table rather than by
// connecting, which the server would count as a client.
bool listening(std::uint16_t port) {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") {
            return true;
        }
    }
    return false;
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// vsftpd's protocol log, one event per line: what follows the "[pid N] " (and "[user] ")
// prefix, and, for commands, the quoted command line.
std::string vsftpdEvent(const std::string& line) {
    struct Event {
        const char* marker;
        const char* event;
    };
    static const Event events[] = {{"] CONNECT: ", "CONNECTED"},
                                   {"] OK LOGIN: ", "LOGIN"},
                                   {"] FAIL LOGIN: ", "FAILED"},
                                   {"] OK UPLOAD: ", "STORED"}};
    for (const Event& event : events) {
        if (line.find(event.marker) != std::string::npos) {
            return event.event;
        }
    }
    const std::string command = "] FTP command: Client \"127.0.0.1\", \"";
    const auto at = line.find(command);
    if (at != std::string::npos) {
        const std::string name = line.substr(at + command.size(), 4);
        if (name == "EPSV" || name == "PASV" || name == "EPRT" || name == "PORT") {
            return "DATA " + name;
        }
    }
    return {};
}

} // namespace

FtpServer::FtpServer()
    : FtpServer(Options{}) {}

FtpServer::FtpServer(Options options)
    : options_(options)
    , user_(options.program == Program::Vsftpd ? "anonymous"
            : options.program == Program::Sshd ? getpwuid(geteuid())->pw_name
                                               : "webcam")
    , password_(options.program == Program::Vsftpd ? "webcam@example.org"
                : options.program == Program::Sshd ? ""
                                                   : "s3cret pass") {
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
    // The whole process group: vsftpd serves each connection from a process of its own.
    kill(-pid_, SIGKILL);
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
    switch (options_.program) {
    case Program::Vsftpd:
        launchVsftpd(port == 0 ? freePort() : port);
        break;
    case Program::Sshd:
    case Program::Paramiko: {
        std::vector<std::string> args = {
            "/usr/bin/python3", KAVRI_SSH_SERVER_SCRIPT, "--dir",  (dir_.path() / "ssh").string(),
            "--home",           home().string(),         "--port", std::to_string(port)};
        if (options_.program == Program::Paramiko) {
            args.insert(args.end(), {"--user", user_, "--password", password_});
        }
        launchScript(std::move(args));
        break;
    }
    case Program::Pyftpdlib:
        launchPyftpdlib(port);
        break;
    }
}

std::string FtpServer::scheme() const {
    if (options_.program == Program::Sshd || options_.program == Program::Paramiko) {
        return "sftp://";
    }
    return options_.tls == Tls::Explicit   ? "ftpes://"
           : options_.tls == Tls::Implicit ? "ftps://"
                                           : "";
}

std::string FtpServer::caFile() {
    static const TempDir certificates;
    return certificates.file("ca.pem");
}

pid_t FtpServer::spawn(std::vector<std::string> args, int outputFd, bool withErrors) {
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    if (withErrors) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot run " + args[0] + " for the FTP server");
    }
    return pid;
}

void FtpServer::launchPyftpdlib(std::uint16_t port) {
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
                                     std::to_string(options_.uploadBytesPerS),
                                     "--idle-timeout",
                                     std::to_string(options_.idleTimeoutS)};
    if (options_.mode == Mode::Silent) {
        args.emplace_back("--silent");
    }
    if (options_.tls != Tls::None) {
        static const char* const certificates[] = {"trusted", "other-name", "untrusted"};
        const std::string caDirectory = std::filesystem::path(caFile()).parent_path().string();
        args.insert(args.end(), {"--tls", options_.tls == Tls::Explicit ? "explicit" : "implicit",
                                 "--tls-dir", caDirectory, "--certificate",
                                 certificates[static_cast<int>(options_.certificate)]});
    }
    if (options_.refuseRenames) {
        args.emplace_back("--no-rename");
    }
    launchScript(std::move(args));
}

void FtpServer::launchScript(std::vector<std::string> args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe for the FTP server");
    }
    try {
        pid_ = spawn(args, fds[1], false);
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        throw;
    }
    close(fds[1]);
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

void FtpServer::launchVsftpd(std::uint16_t port) {
    // Run as the user who starts it (no chroot, no privilege separation), so that it needs
    // neither a system account nor a read-only root; anonymous logins store in home().
    const auto config = dir_.path() / "vsftpd.conf";
    std::ofstream(config) << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
                          << "listen_port=" << port << "\nbackground=NO\n"
                          << "run_as_launching_user=YES\nseccomp_sandbox=NO\n"
                          << "isolate=NO\nisolate_network=NO\n"
                          << "anonymous_enable=YES\nlocal_enable=NO\n"
                          << "anon_root=" << home().string() << "\n"
                          << "write_enable=YES\nanon_upload_enable=YES\n"
                          << "anon_other_write_enable=YES\nconnect_from_port_20=NO\n"
                          << (options_.idleTimeoutS > 0
                                  ? "idle_session_timeout=" +
                                        std::to_string(options_.idleTimeoutS) + "\n"
                                  : "")
                          << "xferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
                          << "vsftpd_log_file=" << (dir_.path() / "vsftpd.log").string() << "\n";
    const auto outputPath = dir_.path() / "vsftpd.out";
    const int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (output < 0) {
        throw std::runtime_error("cannot make the output file of vsftpd");
    }
    try {
        pid_ = spawn({vsftpdProgram, config.string()}, output, true);
    } catch (const std::exception& error) {
        close(output);
        throw std::runtime_error(std::string(error.what()) + " (is vsftpd installed?)");
    }
    close(output);
    port_ = port;
    const auto deadline = std::chrono::steady_clock::now() + startLimit;
    while (!listening(port)) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("vsftpd could not start: " + readAll(outputPath));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            stop();
            throw std::runtime_error("vsftpd did not listen in time");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<std::string> FtpServer::events() const {
    const Program program = options_.program;
    const bool ssh = program == Program::Sshd || program == Program::Paramiko;
    std::ifstream log(dir_.path() / (program == Program::Vsftpd ? "vsftpd.log"
                                     : ssh                      ? "ssh/sshd.log"
                                                                : "server.log"));
    std::vector<std::string> events;
    std::string line;
    while (std::getline(log, line)) {
        if (ssh) {
            events.push_back(line.rfind("Accepted ", 0) == 0 ? "LOGIN" : "");
        } else {
            events.push_back(program == Program::Vsftpd ? vsftpdEvent(line) : line);
        }
    }
    return events;
}

int FtpServer::count(const std::string& prefix) const {
    int count = 0;
    for (const std::string& event : events()) {
        if (event.rfind(prefix, 0) == 0) {
            ++count;
        }
    }
    return count;
}

int FtpServer::connectionCount() const {
    return count("CONNECTED");
}

int FtpServer::loginCount() const {
    return count("LOGIN");
}

int FtpServer::failedLoginCount() const {
    return count("FAILED");
}

std::vector<std::chrono::duration<double>> FtpServer::failedLoginTimes() const {
    std::vector<std::chrono::duration<double>> times;
    for (const std::string& event : events()) {
        if (event.rfind("FAILED ", 0) == 0) {
            times.emplace_back(std::stod(event.substr(event.rfind(' ') + 1)));
        }
    }
    return times;
}

int FtpServer::storedCount() const {
    return count("STORED");
}

std::vector<std::string> FtpServer::dataCommands() const {
    std::vector<std::string> commands;
    for (const std::string& event : events()) {
        if (event.rfind("DATA ", 0) == 0) {
            commands.push_back(event.substr(5));
        }
    }
    return commands;
}
