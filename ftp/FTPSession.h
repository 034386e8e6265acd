#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// One FTP connection to one server, used only to store files. connect() opens the control
// connection and logs in at once; put() stores a local file under a remote path over that
// same connection. Every failure throws: FTPException when no connection can be made,
// FTPPutException when a file cannot be stored; the message is the text the user sees, and
// failureReason() says in one line what went wrong. After a failure the session is of no
// further use unless isOpen() says otherwise. Made, used and destroyed on one thread.
class FTPSession {
public:
    // stopFlag, when given, aborts a connect or a transfer in progress as soon as it is set
    // (its owner's cancel); it must outlive the session.
    explicit FTPSession(const std::atomic<bool>* stopFlag = nullptr);
    ~FTPSession();

    FTPSession(const FTPSession&) = delete;
    FTPSession& operator=(const FTPSession&) = delete;

    // Port: its low 16 bits are used, 0 meaning the standard FTP port 21. passive chooses a
    // passive data connection; otherwise the server connects back to this machine.
    void connect(const std::string& host, const std::string& user, const std::string& password,
                 std::uint32_t port, bool passive);
    // Stores localFile in binary mode as remoteFile, a path taken relative to the login
    // directory exactly as given; an existing file is replaced, no directory is created.
    void put(const std::string& localFile, const std::string& remoteFile);

    // Why the last connect or put failed: what was being done and the server's reply or the
    // network's error, e.g. "store cam/image.jpg: 550 No such file or directory". It never
    // holds the password.
    const std::string& failureReason() const { return failureReason_; }
    // Whether the connection is logged in and can take the next put. After a failed put it
    // is when the server refused that one file (a missing directory, no permission) or the
    // local file could not be read, so a new connection would fare no better; it is not
    // when the connection was lost or the server ended the session, for instance after
    // closing it while it was idle.
    bool isOpen() const { return open_; }

private:
    struct MultiDeleter {
        void operator()(void* multi) const;
    };
    struct EasyDeleter {
        void operator()(void* easy) const;
    };

    // Runs the transfer set up on the connection handle to its end; true on success. On
    // failure keeps the reason, beginning with action, and whether the connection is open.
    bool perform(const std::string& action);

    // The root handle: it keeps the control connection open between transfers.
    std::unique_ptr<void, MultiDeleter> internet_;
    // The transfer handle carrying the login and the options of this session.
    std::unique_ptr<void, EasyDeleter> connection_;
    std::string serverUrl_;
    // host:port, for the failure reason.
    std::string serverName_;
    const std::atomic<bool>* stopFlag_;
    bool open_ = false;
    std::string failureReason_;
    // The last line the server sent during the current transfer, and the transfer library's
    // own error text.
    std::string lastReply_;
    std::string errorText_;
};
