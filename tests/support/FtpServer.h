#pragma once

#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

// A real server for the tests, run as a child process on 127.0.0.1 and a free port with a
// fresh home directory: pyftpdlib run by /usr/bin/python3 with one user, plain or with TLS;
// Debian's vsftpd with anonymous logins that may write; Debian's sshd for SFTP, with the
// user running the tests logging in by a key; or, for SFTP with a password, which sshd would
// check against the machine's accounts, an SFTP server of python3-paramiko's. It counts logins
// (and, but for sshd, stored files) in a log that survives a restart. The constructor throws
// std::runtime_error saying why when the server cannot be started; the destructor kills it.
class FtpServer {
public:
    enum class Mode {
        // A normal server.
        Answering,
        // Accepts connections and never answers, like a server that has hung (pyftpdlib).
        Silent,
    };

    enum class Program { Pyftpdlib, Vsftpd, Sshd, Paramiko };

    enum class Tls {
        None,
        // AUTH TLS before the login, encrypted data connections (pyftpdlib).
        Explicit,
        // TLS from the first byte (pyftpdlib).
        Implicit,
    };

    // The server's certificate: valid for 127.0.0.1 by the authority of caFile(); by that
    // authority for another name only; or valid for 127.0.0.1 but signed by itself.
    enum class Certificate { Trusted, OtherName, Untrusted };

    struct Options {
        Mode mode = Mode::Answering;
        // Limits the upload rate so that a transfer takes a while; 0 means no limit
        // (pyftpdlib).
        long uploadBytesPerS = 0;
        // Closes a control connection idle for this long; 0 keeps the server's default.
        int idleTimeoutS = 0;
        Program program = Program::Pyftpdlib;
        Tls tls = Tls::None;
        Certificate certificate = Certificate::Trusted;
        // Refuses to rename files (pyftpdlib).
        bool refuseRenames = false;
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
    // The URL scheme, with "://", that the program is given in front of 127.0.0.1.
    std::string scheme() const;

    // The certificate authority of the TLS servers' certificates: the same file for every
    // server of the process, to be trusted through SSL_CERT_FILE.
    static std::string caFile();
    // For SFTP: the directory to use as HOME, with .ssh/id_ed25519, the key sshd takes,
    // and .ssh/known_hosts, naming the server's key.
    std::filesystem::path clientHome() const { return dir_.path() / "ssh" / "client"; }

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
    // Runs a script that prints "PORT <n>" when it listens.
    void launchScript(std::vector<std::string> args);
    // Runs args[0] in a process group of its own, its output (and with withErrors its
    // standard error) going to outputFd.
    pid_t spawn(std::vector<std::string> args, int outputFd, bool withErrors);
    // The log as pyftpdlib writes it: "CONNECTED", "LOGIN <user>", "FAILED <user>",
    // "STORED <path>", "DATA <command>"; vsftpd's and sshd's logs are translated.
    std::vector<std::string> events() const;
    int count(const std::string& prefix) const;

    Options options_;
    TempDir dir_;
    std::string user_;
    std::string password_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};
