#include "ftp/FTPSession.h"

#include "base/Exception.h"
#include "base/FileDescriptor.h"
#include "base/FileTarget.h"
#include "base/HealthLine.h"
#include "ftp/FtpLogin.h"
#include "ftp/SshFiles.h"
#include "ftp/SshHostTrust.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const networkMessage =
    "::FTP::\nCannot establish a connection to the network.\nMake sure the computer is connected.";
const char* const connectMessage = ServerAddress::connectMessage;
// A server that does not answer at all, or a transfer that stalls, must not hold the
// upload worker forever.
constexpr long connectTimeoutS = 15;
constexpr long serverResponseTimeoutS = 30;
constexpr long activeAcceptTimeoutMs = 15000;
constexpr long stallBytesPerS = 1;
constexpr long stallTimeS = 30;
// The library would drop a connection idle for two minutes and log in again unasked; the
// upload worker notices a connection the server closed and makes a new one itself, so one
// login serves any grab interval.
constexpr long keepIdleConnectionS = std::numeric_limits<long>::max();
// Longest wait between two looks at the stop flag while a transfer waits for the network.
constexpr int pollIntervalMs = 20;
const char* const temporarySuffix = ".part";

long tlsVersion(bool tls12) {
    return tls12 ? long{CURL_SSLVERSION_TLSv1_2} | long{CURL_SSLVERSION_MAX_TLSv1_2}
                 : long{CURL_SSLVERSION_DEFAULT};
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

// Nothing is fetched; what the library would print of a size asked for goes nowhere.
std::size_t ignore(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

int progress(void* stopFlag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* flag = static_cast<const std::atomic<bool>*>(stopFlag);
    return flag != nullptr && flag->load(std::memory_order_acquire) ? 1 : 0;
}

// The local file being sent: its bytes come from the one descriptor that was checked, and
// no more of them than its size when it was opened.
struct Source {
    FileDescriptor* file;
    std::int64_t* left;
};

std::size_t readSource(char* buffer, std::size_t size, std::size_t count, void* data) {
    auto* source = static_cast<Source*>(data);
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(*source->left, static_cast<std::int64_t>(size * count)));
    const std::size_t got = source->file->readFully(buffer, wanted);
    *source->left -= static_cast<std::int64_t>(got);
    // A file that ends early is reported by the library as a partial upload.
    return got;
}

// A path as an SFTP command of the transfer library reads it: quoted, so that blanks and
// quotes in it stay part of it.
std::string quoted(const std::string& path) {
    std::string text = "\"";
    for (const char byte : path) {
        if (byte == '"' || byte == '\\') {
            text += '\\';
        }
        text += byte;
    }
    return text + "\"";
}

CurlList commandList(const std::vector<std::string>& commands) {
    CurlList list;
    for (const std::string& command : commands) {
        curl_slist* longer = curl_slist_append(list.get(), command.c_str());
        if (longer == nullptr) {
            return nullptr;
        }
        static_cast<void>(list.release());
        list.reset(longer);
    }
    return list;
}

// Whether TLS 1.2 is used with a server over FTP: so, for the rest of the run, once it has
// refused a data connection over TLS 1.3. Servers that require a data connection to resume
// the control connection's TLS session (vsftpd's require_ssl_reuse) refuse some of those
// this transfer library makes with TLS 1.3, answering 522 or, while the file is being sent,
// just closing it. That is said once.
bool useTls12(const std::string& serverName, bool resumptionRefused) {
    static std::mutex mutex;
    static std::set<std::string> servers;
    std::lock_guard lock(mutex);
    if (!resumptionRefused) {
        return servers.count(serverName) != 0;
    }
    if (servers.insert(serverName).second) {
        HealthLine::writeLine("kavriWebCam: upload: " + serverName +
                              " broke off a data connection over TLS 1.3, as a server does that "
                              "requires it to resume the control connection's TLS session; "
                              "using TLS 1.2 with it");
    }
    return true;
}

// Says once per server and run that files go there under their own name.
void tellRenamesRefused(const std::string& serverName, const std::string& remoteFile) {
    static std::mutex mutex;
    static std::set<std::string> told;
    std::lock_guard lock(mutex);
    if (told.insert(serverName).second) {
        HealthLine::writeLine("kavriWebCam: upload: " + serverName +
                              " refuses to rename files; storing straight under " + remoteFile +
                              ", where a visitor may fetch half an image");
    }
}

} // namespace

// The transfer library waits for the server inside one call at some points (the end of an
// SFTP store, say), looking at the stop flag only once a second. While a transfer runs, this
// looks at the flag every few milliseconds and, once it is set, shuts the control connection
// down, which ends any such wait at once.
class FTPSession::StopWatch {
public:
    explicit StopWatch(const std::atomic<bool>& flag)
        : flag_(flag)
        , thread_([this] { watch(); }) {}
    ~StopWatch() {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    StopWatch(const StopWatch&) = delete;
    StopWatch& operator=(const StopWatch&) = delete;

    // A transfer begins or ends; socket is the control connection's, -1 before the login.
    void transferring(bool busy, int socket) {
        {
            std::lock_guard lock(mutex_);
            busy_ = busy;
            socket_ = socket;
        }
        changed_.notify_all();
    }
    // The socket is about to be closed.
    void forget(int socket) {
        std::lock_guard lock(mutex_);
        if (socket == socket_) {
            socket_ = -1;
        }
    }

private:
    void watch() {
        std::unique_lock lock(mutex_);
        while (!ending_) {
            if (!busy_) {
                changed_.wait(lock);
                continue;
            }
            changed_.wait_for(lock, std::chrono::milliseconds(10));
            if (busy_ && socket_ >= 0 && flag_.load(std::memory_order_acquire)) {
                shutdown(socket_, SHUT_RDWR);
                socket_ = -1;
            }
        }
    }

    const std::atomic<bool>& flag_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool busy_ = false;
    bool ending_ = false;
    int socket_ = -1;
    // Last, so that it starts once the rest is there.
    std::thread thread_;
};

struct FTPSession::SocketCloser {
    // The library closes a data connection as soon as it has handed the last bytes to the
    // system, and with TLS while the server's last handshake message lies unread. Closing a
    // socket with unread data resets the connection, and the reset throws away whatever the
    // server had not read yet: the file would be cut short. So after an upload the sending
    // side is shut and the connection read to its end (bounded by the reply time-out and
    // the stop flag) before it is closed. A data connection closed before the whole file
    // was sent failed anyway, and is closed at once.
    static int close(void* data, curl_socket_t socket) {
        const auto* self = static_cast<const FTPSession*>(data);
        if (self->stopWatch_) {
            self->stopWatch_->forget(socket);
        }
        if (self->unsentBytes_ == 0 && socket != self->controlSocket_ &&
            shutdown(socket, SHUT_WR) == 0) {
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::seconds(serverResponseTimeoutS);
            char unread[4096];
            while (!self->stopped() && std::chrono::steady_clock::now() < deadline) {
                pollfd entry{socket, POLLIN, 0};
                const int ready = poll(&entry, 1, pollIntervalMs);
                if (ready < 0 && errno != EINTR) {
                    break;
                }
                if (ready <= 0) {
                    continue;
                }
                const ssize_t got = recv(socket, unread, sizeof unread, 0);
                if (got == 0 || (got < 0 && errno != EINTR)) {
                    break;
                }
            }
        }
        return ::close(socket);
    }
};

FTPSession::FTPSession(const std::atomic<bool>* stopFlag)
    : stopFlag_(stopFlag)
    , stopWatch_(stopFlag != nullptr ? std::make_unique<StopWatch>(*stopFlag) : nullptr) {}

FTPSession::~FTPSession() {
    // The transfer handle goes first, then the root handle, which closes the connection.
    connection_.reset();
    internet_.reset();
    stopWatch_.reset();
}

std::string FTPSession::temporaryName(const std::string& remotePath) {
    const auto slash = remotePath.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    return remotePath.substr(0, nameAt) + "." + remotePath.substr(nameAt) + temporarySuffix;
}

void FTPSession::connect(const FtpLogin& login) {
    open_ = false;
    deleteBeforeRename_ = false;
    renamesRefused_ = false;
    hostTrust_.reset();
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
    checkLogin(login);
    address_ = login.address;
    setUpTransfers(login.user);
    if (address_.protocol() == Protocol::Sftp) {
        setUpSsh(login.password);
    } else {
        setUpFtp(login.password, login.passive);
    }

    // Logging in now, with a request that transfers nothing, makes a refused login, an
    // untrusted server or an unreachable one fail here rather than at the first file.
    // An SSH server that has no key of the type asked for ends the connection, and the
    // next type is asked for, as ssh offers them all.
    while (!runCommands({}, "connect to " + address_.serverName())) {
        if (!hostTrust_ || !hostTrust_->askNextKeyType(lastResult_)) {
            throw FTPException(connectMessage);
        }
    }
}

void FTPSession::checkLogin(const FtpLogin& login) {
    if (!login.address.usable()) {
        failureReason_ = "connect: " + login.address.refusal();
        throw FTPException(connectMessage);
    }
    // A line break in a setting would end the command it is sent in and start another.
    if (hasControlCharacter(login.user) || hasControlCharacter(login.password)) {
        failureReason_ = "connect: the user name or password holds a control character";
        throw FTPException(connectMessage);
    }
}

void FTPSession::setUpTransfers(const std::string& user) {
    CURL* easy = connection_.get();
    errorText_.assign(CURL_ERROR_SIZE, '\0');
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText_.data());
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &keepServerReply);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, &lastReply_);
    curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, address_.urlScheme());
    curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connectTimeoutS);
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, serverResponseTimeoutS);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, stallBytesPerS);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stallTimeS);
    curl_easy_setopt(easy, CURLOPT_MAXAGE_CONN, keepIdleConnectionS);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(stopFlag_));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &readSource);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ignore);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ignore);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &SocketCloser::close);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
}

void FTPSession::setUpFtp(const std::string& password, bool passive) {
    CURL* easy = connection_.get();
    curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(easy, CURLOPT_FTPPORT, passive ? nullptr : "-");
    curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(easy, CURLOPT_FTP_CREATE_MISSING_DIRS,
                     static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(easy, CURLOPT_ACCEPTTIMEOUT_MS, activeAcceptTimeoutMs);
    // Nothing, not the login either, goes to an FTPS server in the clear. The server's
    // certificate is checked against the system's authorities (the library's default,
    // set here so that nothing can turn it off); SSL_CERT_FILE and SSL_CERT_DIR add
    // others, as for every program built on OpenSSL.
    curl_easy_setopt(
        easy, CURLOPT_USE_SSL,
        static_cast<long>(address_.protocol() == Protocol::Ftp ? CURLUSESSL_NONE : CURLUSESSL_ALL));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    tls12_ = useTls12(address_.serverName(), false);
    curl_easy_setopt(easy, CURLOPT_SSLVERSION, tlsVersion(tls12_));
    if (const char* file = std::getenv("SSL_CERT_FILE"); file != nullptr && *file != '\0') {
        curl_easy_setopt(easy, CURLOPT_CAINFO, file);
    }
    if (const char* dir = std::getenv("SSL_CERT_DIR"); dir != nullptr && *dir != '\0') {
        curl_easy_setopt(easy, CURLOPT_CAPATH, dir);
    }
}

void FTPSession::setUpSsh(const std::string& password) {
    CURL* easy = connection_.get();
    // known_hosts names an IPv6 address without the brackets of a URL.
    hostTrust_ = std::make_unique<SshHostTrust>(address_.bareHost(), address_.port());
    hostTrust_->setUp(easy);
    if (!password.empty()) {
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
        curl_easy_setopt(easy, CURLOPT_SSH_AUTH_TYPES,
                         static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        return;
    }
    const std::string key = SshFiles::defaultPrivateKey();
    if (key.empty()) {
        curl_easy_setopt(easy, CURLOPT_SSH_AUTH_TYPES, static_cast<long>(CURLSSH_AUTH_AGENT));
        return;
    }
    // Without a public key file the SSH library derives the public key from the private one.
    const std::string publicKey = key + ".pub";
    curl_easy_setopt(easy, CURLOPT_SSH_PRIVATE_KEYFILE, key.c_str());
    curl_easy_setopt(easy, CURLOPT_SSH_PUBLIC_KEYFILE,
                     access(publicKey.c_str(), R_OK) == 0 ? publicKey.c_str() : "");
    curl_easy_setopt(easy, CURLOPT_SSH_AUTH_TYPES,
                     static_cast<long>(CURLSSH_AUTH_AGENT | CURLSSH_AUTH_PUBLICKEY));
}

void FTPSession::put(const std::string& localFile, const std::string& remoteFile) {
    const std::string action = "store " + remoteFile;
    std::int64_t size = 0;
    FileDescriptor file = openToStore(localFile, remoteFile, size, failureReason_);
    if (!connection_ || remoteFile.empty() || remoteFile.back() == '/') {
        failureReason_ = action + (!connection_         ? ": not connected"
                                   : remoteFile.empty() ? ": no remote name given"
                                                        : ": the remote name ends in '/', so it "
                                                          "names a folder, not a file");
        throw FTPPutException(transferMessage);
    }
    if (renamesRefused_) {
        if (!storeWhole(file, size, remoteFile, action)) {
            throw FTPPutException(transferMessage);
        }
        return;
    }

    const std::string temporary = temporaryName(remoteFile);
    if (!storeWhole(file, size, temporary, action)) {
        discard(temporary, action);
        throw FTPPutException(transferMessage);
    }
    if (rename(temporary, remoteFile, action)) {
        return;
    }
    if (lastResult_ != CURLE_QUOTE_ERROR) {
        throw FTPPutException(transferMessage);
    }
    // Either the server renames nothing, or no file can have the name (a folder has it).
    // Storing straight under the name tells which.
    if (!runCommands({deleteCommand(temporary, false)}, action) ||
        !storeWhole(file, size, remoteFile, action)) {
        throw FTPPutException(transferMessage);
    }
    renamesRefused_ = true;
    tellRenamesRefused(address_.serverName(), remoteFile);
}

bool FTPSession::rename(const std::string& temporary, const std::string& remoteFile,
                        const std::string& action) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool done = runCommands(renameCommands(temporary, remoteFile), action);
        // The FTP commands may fail without ending the transfer; the last reply is RNTO's.
        if (done && (address_.protocol() == Protocol::Sftp || replyCodeIs(lastReply_, "2"))) {
            return true;
        }
        if (done) {
            failureReason_ = action + ": " + lastReply_;
            lastResult_ = CURLE_QUOTE_ERROR;
        }
        // Some servers rename only to a name that is free.
        if (lastResult_ != CURLE_QUOTE_ERROR || deleteBeforeRename_) {
            return false;
        }
        deleteBeforeRename_ = true;
    }
    return false;
}

void FTPSession::putMakingFolders(const std::string& localFile, const std::string& remoteFile) {
    std::string folder;
    std::vector<std::string> commands;
    for (std::size_t slash = remoteFile.find('/', 1); slash != std::string::npos;
         slash = remoteFile.find('/', slash + 1)) {
        folder = remoteFile.substr(0, slash);
        if (madeFolders_.insert(folder).second) {
            // '*': an existing folder is no failure; a missing one fails the store.
            commands.push_back(address_.protocol() == Protocol::Sftp ? "*mkdir " + quoted(folder)
                                                                     : "*MKD " + folder);
        }
    }
    if (!hasControlCharacter(remoteFile) && connection_ && !commands.empty() &&
        !runCommands(commands, "make the folders of " + remoteFile)) {
        madeFolders_.clear();
        throw FTPPutException(transferMessage);
    }
    put(localFile, remoteFile);
}

bool FTPSession::storeWhole(FileDescriptor& file, std::int64_t size, const std::string& name,
                            const std::string& action) {
    // An FTP server takes the end of the data connection for the end of the file. A
    // connection that breaks off, for instance when a TLS connection is reset while the
    // server still has data to read, makes it keep part of the file and report success.
    // So its size is asked, and a short file sent once more.
    constexpr int attempts = 2;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (lseek(file.get(), 0, SEEK_SET) != 0) {
            failureReason_ = action + ": cannot read the file again: " + std::strerror(errno);
            return false;
        }
        if (!store(file, size, name, action)) {
            return false;
        }
        if (address_.protocol() == Protocol::Sftp) {
            // Every SFTP write is acknowledged.
            return true;
        }
        const auto kept = remoteSize(name, action);
        if (!kept) {
            return false;
        }
        if (*kept < 0 || *kept == size) {
            return true;
        }
        failureReason_ = action + ": the server kept " + std::to_string(*kept) + " of " +
                         std::to_string(size) + " bytes";
    }
    return false;
}

std::optional<std::int64_t> FTPSession::remoteSize(const std::string& name,
                                                   const std::string& action) {
    CURL* easy = connection_.get();
    const std::string url = fileUrl(name);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    if (!perform(action)) {
        return std::nullopt;
    }
    curl_off_t size = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) != CURLE_OK) {
        size = -1;
    }
    return size;
}

std::vector<std::string> FTPSession::renameCommands(const std::string& temporary,
                                                    const std::string& remoteFile) const {
    std::vector<std::string> commands;
    if (deleteBeforeRename_) {
        commands.push_back(deleteCommand(remoteFile, false));
    }
    if (address_.protocol() == Protocol::Sftp) {
        commands.push_back("rename " + quoted(temporary) + " " + quoted(remoteFile));
    } else {
        // A failing command would make the transfer library close the connection, and the
        // next transfer log in again; so each may fail, and the replies tell.
        commands.push_back("*RNFR " + temporary);
        commands.push_back("*RNTO " + remoteFile);
    }
    return commands;
}

std::string FTPSession::deleteCommand(const std::string& name, bool required) const {
    // A leading '*' lets the library go on when the command fails.
    return std::string(required ? "" : "*") +
           (address_.protocol() == Protocol::Sftp ? "rm " + quoted(name) : "DELE " + name);
}

void FTPSession::discard(const std::string& temporary, const std::string& action) {
    if (!open_ || stopped()) {
        // The next store under the same name replaces the leftover and renames it away.
        return;
    }
    const std::string reason = failureReason_;
    const bool open = open_;
    runCommands({deleteCommand(temporary, false)}, action);
    failureReason_ = reason;
    open_ = open && open_;
}

std::string FTPSession::fileUrl(const std::string& remotePath) const {
    // An absolute SFTP path replaces the login directory's "/~/".
    if (address_.protocol() == Protocol::Sftp && !remotePath.empty() && remotePath.front() == '/') {
        const std::string base = address_.baseUrl();
        return base.substr(0, base.size() - 3) + ServerAddress::encodePath(remotePath);
    }
    return address_.baseUrl() + ServerAddress::encodePath(remotePath);
}

bool FTPSession::stopped() const {
    return stopFlag_ != nullptr && stopFlag_->load(std::memory_order_acquire);
}

bool FTPSession::store(FileDescriptor& file, std::int64_t size, const std::string& name,
                       const std::string& action) {
    CURL* easy = connection_.get();
    const std::string url = fileUrl(name);
    unsentBytes_ = size;
    Source source{&file, &unsentBytes_};
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_READDATA, &source);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    bool stored = perform(action);
    const bool tls =
        address_.protocol() == Protocol::Ftpes || address_.protocol() == Protocol::Ftps;
    // A data connection broken off once the file was being sent, not a lost connection.
    const bool brokenOff = lastResult_ == CURLE_SEND_ERROR && unsentBytes_ < size;
    if (!stored && tls && !tls12_ && (replyCodeIs(lastReply_, "522") || brokenOff)) {
        // Most likely the data connection did not resume the control connection's TLS
        // session. TLS 1.2 takes a new connection, and a login; an old one still open is
        // closed as the new one comes.
        tls12_ = useTls12(address_.serverName(), true);
        curl_easy_setopt(easy, CURLOPT_SSLVERSION, tlsVersion(tls12_));
        curl_multi_setopt(internet_.get(), CURLMOPT_MAXCONNECTS, 1L);
        unsentBytes_ = size;
        stored = lseek(file.get(), 0, SEEK_SET) == 0 && perform(action);
    }
    unsentBytes_ = -1;
    curl_easy_setopt(easy, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 0L);
    return stored;
}

bool FTPSession::runCommands(const std::vector<std::string>& commands, const std::string& action) {
    CURL* easy = connection_.get();
    const CurlList before = commandList(commands);
    const std::string url = address_.baseUrl();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_QUOTE, before.get());
    const bool done = perform(action);
    curl_easy_setopt(easy, CURLOPT_QUOTE, nullptr);
    return done;
}

bool FTPSession::perform(const std::string& action) {
    CURLM* multi = internet_.get();
    CURL* easy = connection_.get();
    lastReply_.clear();
    errorText_[0] = '\0';
    lastResult_ = CURLE_OK;
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        failureReason_ = action + ": the transfer cannot be started";
        open_ = false;
        return false;
    }
    // Driving the transfer ourselves, rather than with curl_easy_perform, bounds the time
    // between two looks at the stop flag while the server is silent.
    int running = 1;
    CURLMcode status = CURLM_OK;
    if (stopWatch_) {
        stopWatch_->transferring(true, controlSocket_);
    }
    while (status == CURLM_OK) {
        status = curl_multi_perform(multi, &running);
        if (status != CURLM_OK || running == 0) {
            break;
        }
        status = curl_multi_poll(multi, nullptr, 0, pollIntervalMs, nullptr);
    }
    if (stopWatch_) {
        stopWatch_->transferring(false, -1);
    }
    CURLcode result = CURLE_FAILED_INIT;
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            result = message->data.result;
        }
    }
    lastResult_ = result;
    if (status == CURLM_OK && result == CURLE_OK) {
        curl_socket_t control = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(easy, CURLINFO_ACTIVESOCKET, &control) == CURLE_OK) {
            controlSocket_ = control;
        }
        curl_multi_remove_handle(multi, easy);
        open_ = true;
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
    std::string detail = hostTrust_ && !hostTrust_->problem().empty() ? hostTrust_->problem()
                         : serverRefused                              ? lastReply_
                         : errorText_[0] != 0 ? std::string(errorText_.c_str())
                         : status != CURLM_OK ? curl_multi_strerror(status)
                                              : curl_easy_strerror(result);
    failureReason_ = action + ": " + detail;
    return false;
}
