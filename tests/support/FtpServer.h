#pragma once

#include "tests/support/TempDir.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// A real server for the tests on 127.0.0.1 and a free port, with a fresh home directory, run
// by ftp_process.py as a child process: pyftpdlib with one user, plain or with TLS; vsftpd
// with anonymous logins that may write; sshd for SFTP, the user running the tests logging in
// by a key; for SFTP with a password, a server of python3-paramiko's; S3 object storage that
// checks signatures; or Apache's WebDAV (both with TLS unless tls is None). Its event log
// survives a restart. The constructor throws std::runtime_error when the server cannot start.
class FtpServer {
public:
    // Silent: accepts connections and never answers, like a server that has hung.
    enum class Mode { Answering, Silent };
    enum class Program { Pyftpdlib, Vsftpd, Sshd, Paramiko, S3 = 5, Apache };
    // Explicit: AUTH TLS before the login; implicit: TLS from the first byte (pyftpdlib and
    // vsftpd, which requires the data connections to resume the control connection's session).
    enum class Tls { None, Explicit, Implicit };
    // Valid for 127.0.0.1 by the authority of caFile(); by it for another name only; or
    // valid for 127.0.0.1 but signed by itself.
    enum class Certificate { Trusted, OtherName, Untrusted };

    struct Options {
        Mode mode = Mode::Answering;
        // Limits the upload rate, so that a transfer takes a while (pyftpdlib).
        long uploadBytesPerS = 0;
        // Closes a control connection idle for this long; 0 keeps the server's default.
        int idleTimeoutS = 0;
        Program program = Program::Pyftpdlib;
        Tls tls = Tls::None;
        Certificate certificate = Certificate::Trusted;
        bool refuseRenames = false;
        // For S3: the server's region, and how far its clock is ahead, in seconds.
        const char* region = "us-east-1";
        int clockSkewS = 0;
    };

    explicit FtpServer(Options options);
    ~FtpServer() { stop(); }
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    // Ends the server and its connections; the port refuses connections until restart().
    void stop();
    void restart();
    // Stalls the server (vsftpd, sshd) as if it had hung: its processes stop where they are
    // and its connections stay open, until stop().
    void freeze() const;

    std::uint16_t port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    std::filesystem::path home() const { return dir_.path() / "home"; }
    // What the host setting has in front of 127.0.0.1: "", "ftpes://", "ftps://", "sftp://",
    // "s3://", "dav://", "davs://".
    std::string scheme() const;
    // The host field for the server at host: the scheme, the host and for S3 the bucket, for
    // WebDAV the base path, "/cam", which are home().
    std::string hostField(const std::string& host = "127.0.0.1") const;
    // The authority of every TLS server of the process, to be trusted by SSL_CERT_FILE.
    static std::string caFile();
    // For SFTP: the HOME with the key sshd takes and a known_hosts naming the server's key.
    std::filesystem::path clientHome() const { return dir_.path() / "client"; }

    // The lines of the event log (see ftp_process.py) that start with prefix.
    std::vector<std::string> events(const std::string& prefix) const;
    int connectionCount() const { return static_cast<int>(events("CONNECTED").size()); }
    int loginCount() const { return static_cast<int>(events("LOGIN").size()); }
    int storedCount() const { return static_cast<int>(events("STORED").size()); }

private:
    void launch();

    Options options_;
    TempDir dir_;
    std::string user_;
    std::string password_;
    std::uint16_t port_ = 0;
    int pid_ = 0;
    std::FILE* output_ = nullptr;
};
