#pragma once

#include "ftp/CurlHandles.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class FileDescriptor;
class ServerAddress;

// HTTP requests to one server over one kept connection (HTTP keep-alive on one transfer
// handle), for the object storage and WebDAV sessions. A TLS server's certificate must be
// valid for the host by the system's certificate authorities, SSL_CERT_FILE and
// SSL_CERT_DIR adding others, as for FTPS. No redirect is followed and no proxy is used.
class HttpTransfer {
public:
    struct Request {
        const char* method;
        std::string url;
        std::vector<std::string> headers;
        // The body, from the file's current position; none when null.
        FileDescriptor* body = nullptr;
        std::int64_t bodySize = 0;
    };

    // stopFlag, when given, aborts a request in progress as soon as it is set.
    explicit HttpTransfer(const std::atomic<bool>* stopFlag);
    ~HttpTransfer();

    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    // Sets the handles up for the address's server; false when the library cannot be.
    bool open(const ServerAddress& address);
    // Logs in with HTTP basic authentication on every request.
    void useBasicLogin(const std::string& user, const std::string& password);
    // Signs every request with AWS Signature Version 4 for the region's S3 service.
    void useAwsSignature(const std::string& region, const std::string& accessKey,
                         const std::string& secret);

    // Runs the request; true when the server answered, whatever its status. On false,
    // error() says why, in a few words without the password.
    bool run(const Request& request);
    long status() const { return status_; }
    // The status line's words after the code, e.g. "Forbidden".
    const std::string& statusText() const { return statusText_; }
    // The first bytes of the answer's body.
    const std::string& body() const { return body_; }
    const std::string& error() const { return error_; }
    // Whether the connection is still there for the next request.
    bool connected() const { return connected_; }
    bool stopped() const;

private:
    static std::size_t keepBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t keepStatus(char* data, std::size_t size, std::size_t count, void* self);
    // Drives the transfer to its end, looking at the stop flag in between.
    int perform();

    CurlMulti internet_;
    CurlEasy connection_;
    const std::atomic<bool>* stopFlag_;
    std::string signing_;
    std::string errorText_;
    long status_ = 0;
    bool connected_ = false;
    std::string statusText_;
    std::string body_;
    std::string error_;
};
