#include "ftp/UploadSession.h"

#include "base/Exception.h"
#include "base/FileTarget.h"
#include "ftp/FTPSession.h"
#include "ftp/S3Session.h"
#include "ftp/WebDavSession.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

std::unique_ptr<UploadSession> UploadSession::make(ServerAddress::Protocol protocol,
                                                   const std::atomic<bool>* stopFlag) {
    using Protocol = ServerAddress::Protocol;
    switch (protocol) {
    case Protocol::S3:
        return std::make_unique<S3Session>(stopFlag);
    case Protocol::Dav:
    case Protocol::Davs:
        return std::make_unique<WebDavSession>(stopFlag);
    default:
        return std::make_unique<FTPSession>(stopFlag);
    }
}

bool UploadSession::hasControlCharacter(const std::string& text) {
    for (const char byte : text) {
        if (static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

FileDescriptor UploadSession::openToStore(const std::string& localFile,
                                          const std::string& remoteFile, std::int64_t& size,
                                          std::string& failureReason) {
    const std::string action = "store " + remoteFile;
    if (hasControlCharacter(remoteFile)) {
        failureReason = action + ": the remote path holds a control character";
        throw FTPException(ServerAddress::connectMessage);
    }
    FileDescriptor file = openFileForReading(localFile);
    struct stat status {};
    if (!file.isOpen() || fstat(file.get(), &status) != 0) {
        const int error = errno;
        failureReason =
            action + ": cannot read " + localFile + ": " +
            (error == EPERM ? "another user's link, or not a regular file" : std::strerror(error));
        throw FTPPutException(transferMessage);
    }
    size = status.st_size;
    return file;
}

bool UploadSession::putArchived(const std::string& localFile, const std::string& remoteFile) {
    try {
        putMakingFolders(localFile, remoteFile);
    } catch (const FTPException&) {
        return ::access(localFile.c_str(), R_OK) != 0;
    }
    return true;
}
