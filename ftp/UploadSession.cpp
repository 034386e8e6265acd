#include "ftp/UploadSession.h"

#include "ftp/FTPSession.h"
#include "ftp/S3Session.h"
#include "ftp/WebDavSession.h"

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
