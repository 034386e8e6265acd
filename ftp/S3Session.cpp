#include "ftp/S3Session.h"

#include "base/Exception.h"
#include "base/FileDescriptor.h"
#include "base/FileTarget.h"
#include "ftp/FtpLogin.h"
#include "ftp/S3ErrorBody.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

bool succeeded(long status) {
    return status >= 200 && status < 300;
}

} // namespace

S3Session::S3Session(const std::atomic<bool>* stopFlag)
    : transfer_(stopFlag) {}

void S3Session::connect(const FtpLogin& login) {
    open_ = false;
    const ServerAddress& address = login.address;
    if (!address.usable()) {
        failureReason_ = "connect: " + address.refusal();
        throw FTPException(ServerAddress::connectMessage);
    }
    if (hasControlCharacter(login.user) || hasControlCharacter(login.password)) {
        failureReason_ = "connect: the access key or secret holds a control character";
        throw FTPException(ServerAddress::connectMessage);
    }
    if (login.user.empty()) {
        failureReason_ = "connect: no access key given; type it into the user name field";
        throw FTPException(ServerAddress::connectMessage);
    }
    if (!transfer_.open(address)) {
        failureReason_ = "connect: the network library cannot be set up";
        throw FTPException(ServerAddress::connectMessage);
    }
    transfer_.useAwsSignature(address.region(), login.user, login.password);
    baseUrl_ = address.baseUrl();
    serverName_ = address.serverName();
    publicRead_ = address.publicRead();
    cacheSeconds_ = login.cacheSeconds;

    const bool answered = transfer_.run(
        {"GET", baseUrl_ + "?max-keys=0", {"x-amz-content-sha256: UNSIGNED-PAYLOAD"}, nullptr, 0});
    if (answered &&
        (succeeded(transfer_.status()) ||
         (transfer_.status() == 403 && S3ErrorBody(transfer_.body()).code() == "AccessDenied"))) {
        open_ = true;
        return;
    }
    keepFailure("connect to " + serverName_, answered);
    open_ = false;
    throw FTPException(ServerAddress::connectMessage);
}

void S3Session::put(const std::string& localFile, const std::string& remoteFile) {
    const std::string action = "store " + remoteFile;
    std::int64_t size = 0;
    FileDescriptor file = openToStore(localFile, remoteFile, size, failureReason_);
    const std::string key = remoteFile.substr(remoteFile.find_first_not_of('/') == std::string::npos
                                                  ? remoteFile.size()
                                                  : remoteFile.find_first_not_of('/'));
    if (!open_ || key.empty()) {
        failureReason_ = action + (open_ ? ": no remote name given" : ": not connected");
        throw FTPPutException(transferMessage);
    }
    HttpTransfer::Request request{
        "PUT",
        baseUrl_ + ServerAddress::encodePath(key),
        {"Content-Type: image/jpeg", "x-amz-content-sha256: UNSIGNED-PAYLOAD", "Expect:"},
        &file,
        size};
    if (cacheSeconds_ > 0) {
        request.headers.push_back("Cache-Control: max-age=" + std::to_string(cacheSeconds_));
    }
    if (publicRead_) {
        request.headers.emplace_back("x-amz-acl: public-read");
    }
    const bool answered = transfer_.run(request);
    if (answered && succeeded(transfer_.status())) {
        return;
    }
    keepFailure(action, answered);
    throw FTPPutException(transferMessage);
}

void S3Session::keepFailure(const std::string& action, bool answered) {
    if (!answered) {
        failureReason_ = action + ": " + transfer_.error();
        open_ = false;
        return;
    }
    // A refusal leaves the connection to the next request unless the server closed it.
    open_ = open_ && transfer_.connected();
    const std::string said = S3ErrorBody(transfer_.body()).describe();
    failureReason_ = action + ": " + std::to_string(transfer_.status()) + " " +
                     (said.empty() ? transfer_.statusText() : said);
}
