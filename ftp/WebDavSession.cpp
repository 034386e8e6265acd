#include "ftp/WebDavSession.h"

#include "base/Exception.h"
#include "base/FileDescriptor.h"
#include "base/FileTarget.h"
#include "ftp/FTPSession.h"
#include "ftp/FtpLogin.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool succeeded(long status) {
    return status >= 200 && status < 300;
}

// A path below the base, without leading slashes.
std::string relative(const std::string& path) {
    const auto start = path.find_first_not_of('/');
    return start == std::string::npos ? "" : path.substr(start);
}

} // namespace

WebDavSession::WebDavSession(const std::atomic<bool>* stopFlag)
    : transfer_(stopFlag) {}

void WebDavSession::connect(const FtpLogin& login) {
    open_ = false;
    madeCollections_.clear();
    if (!login.address.usable()) {
        failureReason_ = "connect: " + login.address.refusal();
        throw FTPException(ServerAddress::connectMessage);
    }
    if (hasControlCharacter(login.user) || hasControlCharacter(login.password)) {
        failureReason_ = "connect: the user name or password holds a control character";
        throw FTPException(ServerAddress::connectMessage);
    }
    if (!transfer_.open(login.address)) {
        failureReason_ = "connect: the network library cannot be set up";
        throw FTPException(ServerAddress::connectMessage);
    }
    if (!login.user.empty()) {
        transfer_.useBasicLogin(login.user, login.password);
    }
    baseUrl_ = login.address.baseUrl();
    open_ = true;
    if (!request("PROPFIND", "", "connect to " + login.address.serverName(), {"Depth: 0"})) {
        open_ = false;
        throw FTPException(ServerAddress::connectMessage);
    }
}

void WebDavSession::put(const std::string& localFile, const std::string& remoteFile) {
    const std::string action = "store " + remoteFile;
    std::int64_t size = 0;
    FileDescriptor file = openToStore(localFile, remoteFile, size, failureReason_);
    const std::string path = relative(remoteFile);
    if (!open_ || path.empty() || path.back() == '/') {
        failureReason_ = action + (open_ ? ": no remote name given" : ": not connected");
        throw FTPPutException(transferMessage);
    }
    const std::string temporary = FTPSession::temporaryName(path);
    if (!send(file, size, temporary, action)) {
        if (open_) {
            const std::string reason = failureReason_;
            request("DELETE", temporary, action);
            failureReason_ = reason;
        }
        throw FTPPutException(transferMessage);
    }
    if (!request("MOVE", temporary, action, {"Destination: " + urlOf(path), "Overwrite: T"})) {
        throw FTPPutException(transferMessage);
    }
}

bool WebDavSession::send(FileDescriptor& file, std::int64_t size, const std::string& temporary,
                         const std::string& action) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (lseek(file.get(), 0, SEEK_SET) != 0) {
            failureReason_ = action + ": cannot read the file again: " + std::strerror(errno);
            return false;
        }
        const bool answered = transfer_.run(
            {"PUT", urlOf(temporary), {"Content-Type: image/jpeg", "Expect:"}, &file, size});
        if (answered && succeeded(transfer_.status())) {
            return true;
        }
        keepFailure(action, answered);
        // 409 Conflict: a collection of the path is missing.
        const auto slash = temporary.rfind('/');
        if (!answered || transfer_.status() != 409 || slash == std::string::npos ||
            madeCollections_.contains(temporary.substr(0, slash))) {
            return false;
        }
        makeCollections(temporary.substr(0, slash));
    }
    return false;
}

void WebDavSession::makeCollections(const std::string& path) {
    for (auto slash = path.find('/');; slash = path.find('/', slash + 1)) {
        const std::string collection = path.substr(0, slash);
        if (madeCollections_.insert(collection).second) {
            // 405: it is there already.
            transfer_.run({"MKCOL", urlOf(collection + "/"), {}, nullptr, 0});
        }
        if (slash == std::string::npos) {
            return;
        }
    }
}

bool WebDavSession::request(const char* method, const std::string& path, const std::string& action,
                            std::vector<std::string> headers) {
    const bool answered = transfer_.run({method, urlOf(path), std::move(headers), nullptr, 0});
    if (answered && succeeded(transfer_.status())) {
        return true;
    }
    keepFailure(action, answered);
    return false;
}

void WebDavSession::keepFailure(const std::string& action, bool answered) {
    if (!answered) {
        failureReason_ = action + ": " + transfer_.error();
        open_ = false;
        return;
    }
    // A refusal leaves the connection to the next request unless the server closed it; a
    // refused login is no refusal of one file.
    open_ = open_ && transfer_.connected() && transfer_.status() != 401;
    failureReason_ =
        action + ": " + std::to_string(transfer_.status()) + " " + transfer_.statusText();
}

std::string WebDavSession::urlOf(const std::string& path) const {
    return baseUrl_ + ServerAddress::encodePath(path);
}
