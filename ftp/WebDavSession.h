#pragma once

#include "ftp/HttpTransfer.h"
#include "ftp/UploadSession.h"

#include <atomic>
#include <set>
#include <string>

// Uploads to a WebDAV server: davs://HOST/BASE over HTTPS, dav://HOST/BASE in the clear, the
// user name and password sent with HTTP basic authentication. Each file goes with PUT to a
// temporary name in the same collection, which MOVE with "Overwrite: T" then puts over the
// public name, so that nobody ever fetches half a picture there. A collection of the remote
// path that does not exist is made with MKCOL, once. The connection is kept between
// uploads.
class WebDavSession final : public UploadSession {
public:
    explicit WebDavSession(const std::atomic<bool>* stopFlag = nullptr);

    // Opens the connection and asks for the base collection's properties, so that a wrong
    // password, a missing base or an untrusted server fail here.
    void connect(const FtpLogin& login) override;
    // Stores localFile as remoteFile, a path below the base.
    void put(const std::string& localFile, const std::string& remoteFile) override;
    const std::string& failureReason() const override { return failureReason_; }
    bool isOpen() const override { return open_; }

private:
    // Sends the file to the temporary name, making missing collections once; true on success.
    bool send(FileDescriptor& file, std::int64_t size, const std::string& temporary,
              const std::string& action);
    // Makes the collections that hold path, from the top down.
    void makeCollections(const std::string& path);
    // Runs a request without a body; true when the server answered with a 2xx status.
    bool request(const char* method, const std::string& path, const std::string& action,
                 std::vector<std::string> headers = {});
    // The reason of a request that failed or was refused.
    void keepFailure(const std::string& action, bool answered);
    std::string urlOf(const std::string& path) const;

    HttpTransfer transfer_;
    std::string baseUrl_;
    std::set<std::string> madeCollections_;
    bool open_ = false;
    std::string failureReason_;
};
