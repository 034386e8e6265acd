#include "ftp/FTPSession.h"

#include "platform/Exception.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

const char* const networkMessage =
    "::FTP::\nCannot establish a connection to the network.\nMake sure the computer is connected.";
const char* const connectMessage =
    "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";
const char* const transferMessage =
    "::FTP::\nCannot transfer the file, please check the following:\n * the source file exists.\n"
    " * the destination path exists,\n * the ftp server is responding.";

// A server that does not answer at all, or a transfer that stalls, must not hold the
// upload worker forever.
constexpr long connectTimeoutS = 15;
constexpr long serverResponseTimeoutS = 30;
constexpr long activeAcceptTimeoutMs = 15000;
constexpr long stallBytesPerS = 1;
constexpr long stallTimeS = 30;
// Longest wait between two looks at the stop flag while a transfer waits for the network.
constexpr int pollIntervalMs = 50;
constexpr std::uint16_t standardFtpPort = 21;

// curl_global_init is not thread-safe; the first session of the process does it, once.
// The library stays initialised until the process ends.
bool initialiseCurl() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

// Keeps the last line the server sent, for the failure reason. Only what the server sends
// is looked at, never what goes to it, so the password cannot end up there.
int keepServerReply(CURL*, curl_infotype type, char* data, std::size_t size, void* lastReply) {
    if (type == CURLINFO_HEADER_IN) {
        std::string line(data, size);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        *static_cast<std::string*>(lastReply) = std::move(line);
    }
    return 0;
}

bool replyCodeIs(const std::string& reply, const char* code) {
    return reply.rfind(code, 0) == 0;
}

int progress(void* stopFlag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* flag = static_cast<const std::atomic<bool>*>(stopFlag);
    return flag != nullptr && flag->load(std::memory_order_acquire) ? 1 : 0;
}

// Every byte of the remote path reaches the server unchanged: all but the unreserved
// characters and the path separators are percent-encoded, so that nothing in the name
// (blanks, '%', '#', '?', ';type=', bytes above 127) is read as URL syntax.
std::string encodePath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size() * 3);
    for (const unsigned char byte : path) {
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~' || byte == '/';
        if (plain) {
            encoded += static_cast<char>(byte);
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 0x0F];
        }
    }
    return encoded;
}

// host:port as a URL writes it.
std::string serverName(const std::string& host, std::uint32_t port) {
    auto port16 = static_cast<std::uint16_t>(port & 0xFFFF);
    if (port16 == 0) {
        port16 = standardFtpPort;
    }
    const bool ipv6Literal = host.find(':') != std::string::npos && host.front() != '[';
    const std::string name = ipv6Literal ? "[" + host + "]" : host;
    return name + ":" + std::to_string(port16);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

void FTPSession::MultiDeleter::operator()(void* multi) const {
    curl_multi_cleanup(multi);
}

void FTPSession::EasyDeleter::operator()(void* easy) const {
    curl_easy_cleanup(easy);
}

FTPSession::FTPSession(const std::atomic<bool>* stopFlag)
    : stopFlag_(stopFlag) {}

FTPSession::~FTPSession() {
    // The transfer handle goes first, then the root handle, which closes the connection.
    connection_.reset();
    internet_.reset();
}

void FTPSession::connect(const std::string& host, const std::string& user,
                         const std::string& password, std::uint32_t port, bool passive) {
    open_ = false;
    if (!initialiseCurl()) {
        failureReason_ = "connect: the network library cannot be set up";
        throw FTPException(networkMessage);
    }
    internet_.reset(curl_multi_init());
    connection_.reset(curl_easy_init());
    if (!internet_ || !connection_) {
        failureReason_ = "connect: the network library cannot be set up";
        throw FTPException(networkMessage);
    }
    if (host.empty()) {
        failureReason_ = "connect: no host given";
        throw FTPException(connectMessage);
    }
    serverName_ = serverName(host, port);
    serverUrl_ = "ftp://" + serverName_ + "/";

    CURL* easy = connection_.get();
    errorText_.assign(CURL_ERROR_SIZE, '\0');
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText_.data());
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &keepServerReply);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, &lastReply_);
    curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(easy, CURLOPT_FTPPORT, passive ? nullptr : "-");
    curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(easy, CURLOPT_FTP_CREATE_MISSING_DIRS,
                     static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connectTimeoutS);
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, serverResponseTimeoutS);
    curl_easy_setopt(easy, CURLOPT_ACCEPTTIMEOUT_MS, activeAcceptTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, stallBytesPerS);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stallTimeS);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(stopFlag_));

    // Logging in now, with a request that transfers nothing, makes a refused login or an
    // unreachable server fail here rather than at the first file.
    curl_easy_setopt(easy, CURLOPT_URL, serverUrl_.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    if (!perform("connect to " + serverName_)) {
        throw FTPException(connectMessage);
    }
    open_ = true;
}

void FTPSession::put(const std::string& localFile, const std::string& remoteFile) {
    std::error_code error;
    const auto size = std::filesystem::file_size(localFile, error);
    std::unique_ptr<std::FILE, FileCloser> file(error ? nullptr
                                                      : std::fopen(localFile.c_str(), "rb"));
    const std::string action = "store " + remoteFile;
    if (!file) {
        failureReason_ =
            action + ": cannot read " + localFile + ": " +
            (error ? error : std::error_code(errno, std::generic_category())).message();
        throw FTPPutException(transferMessage);
    }
    if (!connection_ || remoteFile.empty()) {
        failureReason_ = action + (connection_ ? ": no remote name given" : ": not connected");
        throw FTPPutException(transferMessage);
    }

    CURL* easy = connection_.get();
    const std::string url = serverUrl_ + encodePath(remoteFile);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_READDATA, file.get());
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    if (!perform(action)) {
        throw FTPPutException(transferMessage);
    }
}

bool FTPSession::perform(const std::string& action) {
    CURLM* multi = internet_.get();
    CURL* easy = connection_.get();
    lastReply_.clear();
    errorText_[0] = '\0';
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        failureReason_ = action + ": the transfer cannot be started";
        open_ = false;
        return false;
    }
    // Driving the transfer ourselves, rather than with curl_easy_perform, bounds the time
    // between two looks at the stop flag while the server is silent.
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
    if (status == CURLM_OK && result == CURLE_OK) {
        curl_multi_remove_handle(multi, easy);
        return true;
    }
    // The library keeps the control connection after a refusal that leaves it usable and
    // closes it otherwise. A server may also end the session and yet keep the connection
    // (421 closing, 530 not logged in).
    curl_socket_t control = CURL_SOCKET_BAD;
    const bool kept = curl_easy_getinfo(easy, CURLINFO_ACTIVESOCKET, &control) == CURLE_OK &&
                      control != CURL_SOCKET_BAD;
    open_ = kept && !replyCodeIs(lastReply_, "421") && !replyCodeIs(lastReply_, "530");
    curl_multi_remove_handle(multi, easy);

    const bool serverRefused = replyCodeIs(lastReply_, "4") || replyCodeIs(lastReply_, "5");
    std::string detail = serverRefused        ? lastReply_
                         : errorText_[0] != 0 ? std::string(errorText_.c_str())
                         : status != CURLM_OK ? curl_multi_strerror(status)
                                              : curl_easy_strerror(result);
    failureReason_ = action + ": " + detail;
    return false;
}
