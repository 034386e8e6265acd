#include "ftp/HttpTransfer.h"

#include "base/FileDescriptor.h"
#include "net/ServerAddress.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

constexpr long connectTimeoutS = 15;
constexpr long stallBytesPerS = 1;
constexpr long stallTimeS = 30;
constexpr long keepIdleConnectionS = std::numeric_limits<long>::max();
constexpr int pollIntervalMs = 50;
// An error's body says what went wrong in its first few hundred bytes.
constexpr std::size_t longestBody = 64 * 1024;

int progress(void* stopFlag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* flag = static_cast<const std::atomic<bool>*>(stopFlag);
    return flag != nullptr && flag->load(std::memory_order_acquire) ? 1 : 0;
}

// The body being sent: no more bytes than its size when the request began.
struct Source {
    FileDescriptor* file;
    std::int64_t left;
};

std::size_t readSource(char* buffer, std::size_t size, std::size_t count, void* data) {
    auto* source = static_cast<Source*>(data);
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(source->left, static_cast<std::int64_t>(size * count)));
    const std::size_t got = source->file->readFully(buffer, wanted);
    source->left -= static_cast<std::int64_t>(got);
    return got;
}

} // namespace

HttpTransfer::HttpTransfer(const std::atomic<bool>* stopFlag)
    : stopFlag_(stopFlag) {}

HttpTransfer::~HttpTransfer() {
    // The transfer handle goes first, then the root handle, which closes the connection.
    connection_.reset();
    internet_.reset();
}

bool HttpTransfer::open(const ServerAddress& address) {
    if (!initialiseCurl()) {
        return false;
    }
    internet_.reset(curl_multi_init());
    connection_.reset(curl_easy_init());
    if (!internet_ || !connection_) {
        return false;
    }
    CURL* easy = connection_.get();
    errorText_.assign(CURL_ERROR_SIZE, '\0');
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText_.data());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, address.urlScheme());
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connectTimeoutS);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, stallBytesPerS);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stallTimeS);
    curl_easy_setopt(easy, CURLOPT_MAXAGE_CONN, keepIdleConnectionS);
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(stopFlag_));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &readSource);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &keepBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &keepStatus);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* file = std::getenv("SSL_CERT_FILE"); file != nullptr && *file != '\0') {
        curl_easy_setopt(easy, CURLOPT_CAINFO, file);
    }
    if (const char* dir = std::getenv("SSL_CERT_DIR"); dir != nullptr && *dir != '\0') {
        curl_easy_setopt(easy, CURLOPT_CAPATH, dir);
    }
    return true;
}

void HttpTransfer::useBasicLogin(const std::string& user, const std::string& password) {
    CURL* easy = connection_.get();
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
}

void HttpTransfer::useAwsSignature(const std::string& region, const std::string& accessKey,
                                   const std::string& secret) {
    CURL* easy = connection_.get();
    signing_ = "aws:amz:" + region + ":s3";
    curl_easy_setopt(easy, CURLOPT_AWS_SIGV4, signing_.c_str());
    curl_easy_setopt(easy, CURLOPT_USERNAME, accessKey.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, secret.c_str());
}

bool HttpTransfer::run(const Request& request) {
    CURL* easy = connection_.get();
    CurlList headers;
    for (const std::string& header : request.headers) {
        curl_slist* longer = curl_slist_append(headers.get(), header.c_str());
        static_cast<void>(headers.release());
        headers.reset(longer);
    }
    Source source{request.body, request.bodySize};
    const bool upload = request.body != nullptr;
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, upload ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_READDATA, upload ? &source : nullptr);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.bodySize));
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    status_ = 0;
    statusText_.clear();
    body_.clear();
    error_.clear();
    const int result = perform();
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_READDATA, nullptr);
    if (result != CURLE_OK) {
        error_ = errorText_[0] != 0 ? std::string(errorText_.c_str())
                                    : curl_easy_strerror(static_cast<CURLcode>(result));
        return false;
    }
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status_);
    return true;
}

int HttpTransfer::perform() {
    CURLM* multi = internet_.get();
    CURL* easy = connection_.get();
    errorText_[0] = '\0';
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    // Driving the transfer ourselves bounds the time between two looks at the stop flag.
    int running = 1;
    CURLMcode status = CURLM_OK;
    while (status == CURLM_OK) {
        status = curl_multi_perform(multi, &running);
        if (status != CURLM_OK || running == 0) {
            break;
        }
        status = curl_multi_poll(multi, nullptr, 0, pollIntervalMs, nullptr);
    }
    CURLcode result = CURLE_FAILED_INIT;
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            result = message->data.result;
        }
    }
    // The connection stays with the handle between requests, unless the server closed it.
    curl_socket_t socket = CURL_SOCKET_BAD;
    connected_ = curl_easy_getinfo(easy, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
                 socket != CURL_SOCKET_BAD;
    curl_multi_remove_handle(multi, easy);
    return status == CURLM_OK ? result : CURLE_FAILED_INIT;
}

bool HttpTransfer::stopped() const {
    return stopFlag_ != nullptr && stopFlag_->load(std::memory_order_acquire);
}

std::size_t HttpTransfer::keepBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<HttpTransfer*>(self);
    const std::size_t bytes = size * count;
    transfer->body_.append(
        data, std::min(bytes, longestBody - std::min(longestBody, transfer->body_.size())));
    return bytes;
}

std::size_t HttpTransfer::keepStatus(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<HttpTransfer*>(self);
    const std::string line(data, size * count);
    // "HTTP/1.1 403 Forbidden": the words after the code; a 100 Continue is replaced later.
    if (line.starts_with("HTTP/")) {
        const auto code = line.find(' ');
        const auto text = code == std::string::npos ? code : line.find(' ', code + 1);
        transfer->statusText_ = text == std::string::npos
                                    ? ""
                                    : line.substr(text + 1, line.find_last_not_of("\r\n") - text);
    }
    return size * count;
}
