#pragma once

#include "ftp/CurlHandles.h"
#include "ftp/UploadSession.h"
#include "net/ServerAddress.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class FileDescriptor;
struct FtpLogin;
class SshHostTrust;

// One connection to one server, used only to store files: plain FTP, FTP over TLS (explicit
// or implicit) or SFTP, chosen by the scheme written in front of the host. connect() opens
// the connection and logs in at once; put() stores a local file under a remote path over
// that same connection. Every failure throws: FTPException when no connection can be made
// or the settings cannot be used, FTPPutException when a file cannot be stored; the message
// is the text the user sees, and failureReason() says in one line what went wrong. After a
// failure the session is of no further use unless isOpen() says otherwise. Made, used and
// destroyed on one thread, which may be any thread.
class FTPSession final : public UploadSession {
public:
    // stopFlag, when given, aborts a connect or a transfer in progress as soon as it is set
    // (its owner's cancel); it must outlive the session.
    explicit FTPSession(const std::atomic<bool>* stopFlag = nullptr);
    ~FTPSession() override;

    FTPSession(const FTPSession&) = delete;
    FTPSession& operator=(const FTPSession&) = delete;

    // The address's scheme picks the protocol: FTP, FTP with TLS asked for with AUTH TLS or
    // from the first byte, or SFTP. A TLS server's certificate must be valid for the host by
    // the system's certificate authorities; an SSH server's key must be in a known_hosts
    // file. A refused address, or a user or password holding a control character, is
    // refused before anything is sent; the failure reason says why.
    void connect(const FtpLogin& login) override;
    // Stores localFile, the regular file it names (through links of this user's only), as
    // remoteFile, a path taken relative to the login directory exactly as given; no
    // directory is created. The bytes go to a temporary name beside remoteFile first, which
    // then takes the name, so that nobody ever fetches half a file there; where the server
    // refuses renames, the file is stored under its name directly. A remote path holding a
    // control character is refused before anything is sent, as a setting that cannot be
    // used (FTPException); so is one that is empty or ends in '/', which cannot name a file
    // (FTPPutException, leaving the connection open).
    void put(const std::string& localFile, const std::string& remoteFile) override;
    // put, making the folders of remoteFile first where they are missing (each once a
    // session; one that cannot be made fails the store).
    void putMakingFolders(const std::string& localFile, const std::string& remoteFile) override;

    // Why the last connect or put failed: what was being done and the server's reply or the
    // network's error, e.g. "store cam/image.jpg: 550 No such file or directory". It never
    // holds the password.
    const std::string& failureReason() const override { return failureReason_; }
    // Whether the connection is logged in and can take the next put. After a failed put it
    // is when the server refused that one file (a missing directory, no permission) or the
    // local file could not be read, so a new connection would fare no better; it is not
    // when the connection was lost or the server ended the session, for instance after
    // closing it while it was idle.
    bool isOpen() const override { return open_; }

    // The temporary name under which a file for remotePath is stored before it takes that
    // name: in the same directory, hidden by a leading dot.
    static std::string temporaryName(const std::string& remotePath);

private:
    using Protocol = ServerAddress::Protocol;

    // Closes the sockets of the session; a data connection only after the server has read
    // all of it.
    struct SocketCloser;
    // Ends a wait inside the transfer library once the stop flag is set.
    class StopWatch;

    // Throws when the login cannot be used.
    void checkLogin(const FtpLogin& login);
    // Sets up the options every protocol shares: the user, time-outs, the stop flag and
    // where the library's reports go.
    void setUpTransfers(const std::string& user);
    // Sets up the login of an FTP connection, its data connections and its TLS.
    void setUpFtp(const std::string& password, bool passive);
    // Sets up the login of an SFTP connection and the check of the server's key.
    void setUpSsh(const std::string& password);
    // Stores the file, from its start, under name, and makes sure that the server has all
    // of it; true on success.
    bool storeWhole(FileDescriptor& file, std::int64_t size, const std::string& name,
                    const std::string& action);
    // Stores the file, read from its start, under name; true on success.
    bool store(FileDescriptor& file, std::int64_t size, const std::string& name,
               const std::string& action);
    // Gives the file stored as temporary the name remoteFile; true on success. When the
    // server refused it, the last result is that of a refused command.
    bool rename(const std::string& temporary, const std::string& remoteFile,
                const std::string& action);
    // The size of a remote file, -1 when the server does not say; nothing when the
    // connection failed.
    std::optional<std::int64_t> remoteSize(const std::string& name, const std::string& action);
    // Runs commands on the server, transferring nothing; true on success.
    bool runCommands(const std::vector<std::string>& commands, const std::string& action);
    // The commands that give the file stored as temporary the name remoteFile.
    std::vector<std::string> renameCommands(const std::string& temporary,
                                            const std::string& remoteFile) const;
    // The command that removes a file; failing if it fails only when required.
    std::string deleteCommand(const std::string& name, bool required) const;
    // Drops the temporary file of a store that failed, when the connection is still there,
    // keeping the failure's reason.
    void discard(const std::string& temporary, const std::string& action);
    std::string fileUrl(const std::string& remotePath) const;
    bool stopped() const;
    // Runs the transfer set up on the connection handle to its end; true on success. On
    // failure keeps the reason, beginning with action, and whether the connection is open.
    bool perform(const std::string& action);

    // The root handle: it keeps the control connection open between transfers.
    CurlMulti internet_;
    // The transfer handle carrying the login and the options of this session.
    CurlEasy connection_;
    ServerAddress address_;
    const std::atomic<bool>* stopFlag_;
    std::unique_ptr<StopWatch> stopWatch_;
    bool open_ = false;
    // The control connection's socket, once logged in, and how many bytes of the file being
    // sent the transfer library has yet to take (-1 while none is sent).
    int controlSocket_ = -1;
    std::int64_t unsentBytes_ = -1;
    // What the server answered to renames so far: whether it renames over an existing file
    // only after that file is deleted, and whether it renames nothing at all.
    bool deleteBeforeRename_ = false;
    bool renamesRefused_ = false;
    // Whether TLS is held to version 1.2, for a server that refuses the resumption of a TLS
    // 1.3 session on a data connection.
    bool tls12_ = false;
    std::string failureReason_;
    // The last line the server sent during the current transfer, the transfer library's own
    // error text and result code.
    std::string lastReply_;
    std::string errorText_;
    int lastResult_ = 0;
    // The folders putMakingFolders made, or found, on this session.
    std::set<std::string> madeFolders_;
    // For SFTP: the check of the server's key, which is made as the connection is.
    std::unique_ptr<SshHostTrust> hostTrust_;
};
