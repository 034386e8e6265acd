#pragma once

#include "base/FileDescriptor.h"
#include "net/ServerAddress.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct FtpLogin;

// One connection to one server, used only to store files, whatever the protocol: FTP, FTPS
// and SFTP (FTPSession), S3 object storage (S3Session) or WebDAV (WebDavSession), chosen by
// the scheme of the server's address. connect() opens the connection and logs in at once;
// put() stores a local file under a remote path over that same connection, so that nobody
// ever fetches half a file there. Every failure throws: FTPException when no connection can
// be made or the settings cannot be used, FTPPutException when a file cannot be stored; the
// message is the text the user sees, and failureReason() says in one line what went wrong,
// never with the password. After a failure the session is of no further use unless isOpen()
// says otherwise. Made, used and destroyed on one thread, which may be any thread.
class UploadSession {
public:
    // The message shown when a file cannot be stored.
    static constexpr const char* transferMessage =
        "::FTP::\nCannot transfer the file, please check the following:\n * the source file "
        "exists.\n * the destination path exists,\n * the ftp server is responding.";

    virtual ~UploadSession() = default;

    // The session for the protocol; stopFlag, when given, aborts a connect or a transfer in
    // progress as soon as it is set (its owner's cancel), and must outlive the session.
    static std::unique_ptr<UploadSession> make(ServerAddress::Protocol protocol,
                                               const std::atomic<bool>* stopFlag = nullptr);

    virtual void connect(const FtpLogin& login) = 0;
    virtual void put(const std::string& localFile, const std::string& remoteFile) = 0;
    // put, for a remote path whose folders may not exist yet. S3 needs no folders for a key,
    // and WebDAV's put makes the missing collections with MKCOL; FTP and SFTP make them
    // first.
    virtual void putMakingFolders(const std::string& localFile, const std::string& remoteFile) {
        put(localFile, remoteFile);
    }
    // putMakingFolders for a picture of the archive; false when it failed, but not when the
    // archive has deleted the picture since, which is not waited for.
    bool putArchived(const std::string& localFile, const std::string& remoteFile);
    // Why the last connect or put failed: what was being done and the server's reply or the
    // network's error.
    virtual const std::string& failureReason() const = 0;
    // Whether the connection can take the next put: after a failed put, when the server
    // refused that one file, so that a new connection would fare no better.
    virtual bool isOpen() const = 0;

protected:
    // Whether the text holds a byte below 32 or 127, which no login or path may carry.
    static bool hasControlCharacter(const std::string& text);
    // The first steps of every put: a remote path holding a control character is refused
    // (FTPException), and the local file is opened (through links of this user's only) with
    // its size, or the store fails (FTPPutException). failureReason gets why.
    static FileDescriptor openToStore(const std::string& localFile, const std::string& remoteFile,
                                      std::int64_t& size, std::string& failureReason);
};
