#pragma once

#include "tests/support/TempDir.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>

// A real FTP server for the tests: pyftpdlib run by /usr/bin/python3 as a child process on
// 127.0.0.1 and a free port, with a fresh home directory and one user. It counts logins
// and stored files in a log that survives a restart. The constructor throws
// std::runtime_error saying why when the server cannot be started; the destructor kills it.
class FtpServer {
public:
    enum class Mode {
        // A normal server.
        Answering,
        // Accepts connections and never answers, like a server that has hung.
        Silent,
    };

    struct Options {
        Mode mode = Mode::Answering;
        // Limits the upload rate so that a transfer takes a while; 0 means no limit.
        long uploadBytesPerS = 0;
    };

    FtpServer();
    explicit FtpServer(Options options);
    ~FtpServer();

    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    // Ends the server process; connections drop, the port refuses connections.
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
    int storedCount() const;

private:
    void launch(std::uint16_t port);
    int countLines(const std::string& prefix) const;

    Options options_;
    TempDir dir_;
    std::string user_ = "webcam";
    std::string password_ = "s3cret pass";
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};
