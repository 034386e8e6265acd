#pragma once

#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

// A real FTP server for the tests, run as a child process on 127.0.0.1 and a free port with
// a fresh home directory: pyftpdlib run by /usr/bin/python3 with one user, or Debian's
// vsftpd with anonymous logins that may write. It counts logins and stored files in a log
// that survives a restart. The constructor throws std::runtime_error saying why when the
// server cannot be started; the destructor kills it.
class FtpServer {
public:
    enum class Mode {
        // A normal server.
        Answering,
        // Accepts connections and never answers, like a server that has hung (pyftpdlib).
        Silent,
    };

    enum class Program { Pyftpdlib, Vsftpd };

    struct Options {
        Mode mode = Mode::Answering;
        // Limits the upload rate so that a transfer takes a while; 0 means no limit
        // (pyftpdlib).
        long uploadBytesPerS = 0;
        // Closes a control connection idle for this long; 0 keeps the server's default.
        int idleTimeoutS = 0;
        Program program = Program::Pyftpdlib;
    };

    FtpServer();
    explicit FtpServer(Options options);
    ~FtpServer();

    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    // Ends the server and its sessions; connections drop, the port refuses connections.
    void stop();
    // Starts the server again on the same port.
    void restart();

    std::uint16_t port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    // The login directory of the user.
    std::filesystem::path home() const { return dir_.path() / "home"; }

    int connectionCount() const;
    int loginCount() const;
    int failedLoginCount() const;
    // When each refused login was answered, on the server's monotonic clock (pyftpdlib).
    std::vector<std::chrono::duration<double>> failedLoginTimes() const;
    int storedCount() const;
    // The commands that set up data connections, in order: EPSV or PASV for passive ones,
    // EPRT or PORT for active ones.
    std::vector<std::string> dataCommands() const;

private:
    void launch(std::uint16_t port);
    void launchPyftpdlib(std::uint16_t port);
    void launchVsftpd(std::uint16_t port);
    // Runs args[0] in a process group of its own, its output (and with withErrors its
    // standard error) going to outputFd.
    pid_t spawn(std::vector<std::string> args, int outputFd, bool withErrors);
    // The log as pyftpdlib writes it: "CONNECTED", "LOGIN <user>", "FAILED <user>",
    // "STORED <path>", "DATA <command>"; vsftpd's log is translated.
    std::vector<std::string> events() const;
    int count(const std::string& prefix) const;

    Options options_;
    TempDir dir_;
    std::string user_;
    std::string password_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};
