#pragma once

#include "ftp/HttpTransfer.h"
#include "ftp/UploadSession.h"

#include <atomic>
#include <string>

// Uploads to S3 object storage: s3://ENDPOINT/BUCKET over HTTPS, path-style. The user name
// is the access key, the password its secret; each request is signed with AWS Signature
// Version 4 for the address's region. Each file is one PUT of the whole object, which S3
// makes visible only once complete, so no temporary object is needed; the object says it is
// a JPEG and how long it stays fresh, and with "public" in the scheme everybody may read
// it. The connection is kept between uploads. A refusal names the server's error code.
class S3Session final : public UploadSession {
public:
    explicit S3Session(const std::atomic<bool>* stopFlag = nullptr);

    // Opens the connection with a signed listing of no keys of the bucket, so that a wrong
    // secret, region or clock, a missing bucket or an untrusted server fail here. A key
    // allowed to store objects but not to list them is let through.
    void connect(const FtpLogin& login) override;
    // Stores localFile as the object remoteFile (a leading '/' dropped) in the bucket.
    void put(const std::string& localFile, const std::string& remoteFile) override;
    const std::string& failureReason() const override { return failureReason_; }
    bool isOpen() const override { return open_; }

private:
    // The reason of a request that failed or was refused.
    void keepFailure(const std::string& action, bool answered);

    HttpTransfer transfer_;
    std::string baseUrl_;
    std::string serverName_;
    bool publicRead_ = false;
    unsigned cacheSeconds_ = 0;
    bool open_ = false;
    std::string failureReason_;
};
