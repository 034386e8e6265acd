#include "live/LiveServer.h"

#include "base/HealthLine.h"
#include "live/LiveFrames.h"
#include "live/LivePage.h"
#include "live/LiveSource.h"
#include "settings/ListenAddress.h"
#include "settings/Settings.h"

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>

#include <microhttpd.h>

namespace {

constexpr auto failedLoginDelay = std::chrono::seconds(1);
// Bounds for each connection: the memory for its request headers and its answer's buffer,
// and how long it may stay idle (also while sending its request).
constexpr std::size_t connectionMemoryBytes = 32 * 1024;
constexpr std::size_t streamBlockBytes = 16 * 1024;
constexpr unsigned idleTimeoutS = 10;
// Connections beyond the viewers: pages, pictures and status requests.
constexpr unsigned otherConnections = 16;

std::optional<std::string> readFile(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
        return std::nullopt;
    }
    return std::move(text).str();
}

// Compares in a time that does not tell how much of a guess was right.
bool sameSecret(const char* given, const std::string& secret) {
    const std::size_t length = given ? std::strlen(given) : 0;
    unsigned char difference = length == secret.size() ? 0 : 1;
    for (std::size_t i = 0; i < length; ++i) {
        difference |= static_cast<unsigned char>(given[i] ^ secret[i % (secret.size() + 1)]);
    }
    return given && difference == 0;
}

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT") whatever the program's locale.
std::string httpDate(std::chrono::system_clock::time_point when) {
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[utc.tm_wday],
                  utc.tm_mday, months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

MHD_Response* textResponse(std::string_view text) {
    return MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()),
                                           MHD_RESPMEM_MUST_COPY);
}

} // namespace

struct LiveServer::Daemon {
    Daemon(LiveServer& server, LiveServer::Config config)
        : server(server)
        , config(std::move(config)) {}

    LiveServer& server;
    LiveServer::Config config;
    std::string cert;
    std::string key;
    MHD_Daemon* handle = nullptr;
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::condition_variable stopped;
    // What the library last said, for the line when it cannot listen.
    std::string lastError;

    MHD_Result answer(MHD_Connection* connection, const std::string& url, bool head);
    bool authorised(MHD_Connection* connection);
    MHD_Result image(MHD_Connection* connection);
    MHD_Result stream(MHD_Connection* connection, bool head);
    static MHD_Result queue(MHD_Connection* connection, unsigned status, MHD_Response* response,
                            const char* type);
    static MHD_Result onRequest(void* self, MHD_Connection* connection, const char* url,
                                const char* method, const char* version, const char* upload,
                                std::size_t* uploadSize, void** state);
    static void log(void* self, const char* format, va_list arguments);

    struct Viewer;
};

// One viewer of the stream: the part it is sending and how much of it went out.
struct LiveServer::Daemon::Viewer {
    LiveServer::Daemon& daemon;
    LiveFrames& frames;
    LiveFrames::Frame frame;
    std::size_t sent = 0;

    static ssize_t read(void* self, std::uint64_t, char* buffer, std::size_t max) {
        auto& viewer = *static_cast<Viewer*>(self);
        if (!viewer.frame.part || viewer.sent == viewer.frame.part->size()) {
            auto next = viewer.frames.next(viewer.frame.number,
                                           [&viewer] { return viewer.daemon.stopping.load(); });
            if (!next) {
                return MHD_CONTENT_READER_END_OF_STREAM;
            }
            viewer.frame = std::move(*next);
            viewer.sent = 0;
        }
        const std::size_t count = std::min(max, viewer.frame.part->size() - viewer.sent);
        std::memcpy(buffer, viewer.frame.part->data() + viewer.sent, count);
        viewer.sent += count;
        return static_cast<ssize_t>(count);
    }
    static void end(void* self) {
        auto* viewer = static_cast<Viewer*>(self);
        viewer->frames.removeViewer();
        delete viewer;
    }
};

MHD_Result LiveServer::Daemon::queue(MHD_Connection* connection, unsigned status,
                                     MHD_Response* response, const char* type) {
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

bool LiveServer::Daemon::authorised(MHD_Connection* connection) {
    if (config.user.empty()) {
        return true;
    }
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    const bool given = user != nullptr;
    const bool right =
        given && sameSecret(user, config.user) && password && sameSecret(password, config.password);
    MHD_free(user);
    MHD_free(password);
    if (given && !right) {
        // Guessing takes a second a try; the wait ends early when the server stops.
        std::unique_lock lock(mutex);
        stopped.wait_for(lock, failedLoginDelay, [this] { return stopping.load(); });
    }
    return right;
}

MHD_Result LiveServer::Daemon::image(MHD_Connection* connection) {
    const auto newest = server.source_.image();
    if (!newest) {
        return queue(connection, MHD_HTTP_SERVICE_UNAVAILABLE, textResponse("no picture yet\n"),
                     "text/plain; charset=utf-8");
    }
    const std::string tag = "\"" +
                            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                               newest->written.time_since_epoch())
                                               .count()) +
                            "-" + std::to_string(newest->number) + "\"";
    const char* known =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_NONE_MATCH);
    const bool unchanged = known && tag == known;
    // The answer keeps the grab's bytes alive until it has been sent.
    auto* held = new std::shared_ptr<const std::string>(newest->jpeg);
    MHD_Response* response =
        unchanged ? textResponse("")
                  : MHD_create_response_from_buffer_with_free_callback_cls(
                        (*held)->size(), const_cast<char*>((*held)->data()),
                        [](void* bytes) {
                            delete static_cast<std::shared_ptr<const std::string>*>(bytes);
                        },
                        held);
    if (unchanged) {
        delete held;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, tag.c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_LAST_MODIFIED,
                            httpDate(newest->written).c_str());
    return queue(connection, unchanged ? MHD_HTTP_NOT_MODIFIED : MHD_HTTP_OK, response,
                 "image/jpeg");
}

MHD_Result LiveServer::Daemon::stream(MHD_Connection* connection, bool head) {
    const std::string type =
        std::string("multipart/x-mixed-replace; boundary=") + LiveFrames::boundary;
    if (head) {
        return queue(connection, MHD_HTTP_OK, textResponse(""), type.c_str());
    }
    if (!server.frames_.addViewer(config.viewers)) {
        return queue(connection, MHD_HTTP_SERVICE_UNAVAILABLE, textResponse("too many viewers\n"),
                     "text/plain; charset=utf-8");
    }
    auto* viewer = new Viewer{*this, server.frames_, {}, 0};
    MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, streamBlockBytes,
                                                               Viewer::read, viewer, Viewer::end);
    if (!response) {
        Viewer::end(viewer);
        return MHD_NO;
    }
    return queue(connection, MHD_HTTP_OK, response, type.c_str());
}

MHD_Result LiveServer::Daemon::answer(MHD_Connection* connection, const std::string& url,
                                      bool head) {
    if (!authorised(connection)) {
        MHD_Response* response = textResponse("a user name and a password are needed\n");
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                                "text/plain; charset=utf-8");
        const MHD_Result queued =
            MHD_queue_basic_auth_fail_response(connection, "kavriWebCam", response);
        MHD_destroy_response(response);
        return queued;
    }
    if (url == "/") {
        MHD_Response* response = textResponse(livePage());
        MHD_add_response_header(response, "Content-Security-Policy",
                                "default-src 'self'; style-src 'unsafe-inline'; "
                                "script-src 'unsafe-inline'");
        return queue(connection, MHD_HTTP_OK, response, "text/html; charset=utf-8");
    }
    if (url == "/image.jpg") {
        return image(connection);
    }
    if (url == "/stream") {
        return stream(connection, head);
    }
    if (url == "/status") {
        return queue(connection, MHD_HTTP_OK, textResponse(server.source_.statusJson()),
                     "application/json");
    }
    return queue(connection, MHD_HTTP_NOT_FOUND, textResponse("not found\n"),
                 "text/plain; charset=utf-8");
}

MHD_Result LiveServer::Daemon::onRequest(void* self, MHD_Connection* connection, const char* url,
                                         const char* method, const char*, const char*, std::size_t*,
                                         void**) {
    const bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    if (!head && std::strcmp(method, MHD_HTTP_METHOD_GET) != 0) {
        MHD_Response* response = textResponse("only GET and HEAD\n");
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        return queue(connection, MHD_HTTP_METHOD_NOT_ALLOWED, response,
                     "text/plain; charset=utf-8");
    }
    return static_cast<Daemon*>(self)->answer(connection, url, head);
}

void LiveServer::Daemon::log(void* self, const char* format, va_list arguments) {
    auto& daemon = *static_cast<Daemon*>(self);
    char text[256];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::lock_guard lock(daemon.mutex);
    daemon.lastError = text;
    while (!daemon.lastError.empty() &&
           (daemon.lastError.back() == '\n' || daemon.lastError.back() == '.')) {
        daemon.lastError.pop_back();
    }
}

LiveServer::Config LiveServer::Config::fromSettings() {
    return {Settings::getLiveAddress(),  Settings::getLivePort(),     Settings::getLiveUser(),
            Settings::getLivePassword(), Settings::getLiveCertFile(), Settings::getLiveKeyFile(),
            Settings::getLiveViewers()};
}

LiveServer::LiveServer(LiveSource& source, LiveFrames& frames, Sink sink)
    : source_(source)
    , frames_(frames)
    , sink_(sink ? std::move(sink) : Sink(HealthLine::writeLine)) {}

LiveServer::~LiveServer() {
    stop();
}

bool LiveServer::running() const {
    return daemon_ != nullptr;
}

std::string LiveServer::url() const {
    return daemon_ ? url_ : std::string();
}

unsigned LiveServer::port() const {
    const MHD_DaemonInfo* info =
        daemon_ ? MHD_get_daemon_info(daemon_->handle, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    return info ? info->port : 0;
}

void LiveServer::stop() {
    if (!daemon_) {
        return;
    }
    daemon_->stopping = true;
    frames_.wakeAll();
    { std::lock_guard lock(daemon_->mutex); }
    daemon_->stopped.notify_all();
    MHD_stop_daemon(daemon_->handle);
    daemon_.reset();
}

bool LiveServer::start(const Config& config) {
    stop();
    const bool tls = !config.certFile.empty() || !config.keyFile.empty();
    const bool ipv6 = config.address.find(':') != std::string::npos;
    const auto where = [&](unsigned port) {
        return (ipv6 ? "[" + config.address + "]" : config.address) + ":" + std::to_string(port);
    };
    const auto refuse = [&](const std::string& why) {
        sink_("kavriWebCam: live view cannot listen on " + where(config.port) + ": " + why);
        return false;
    };
    auto address = ListenAddress::parse(config.address, config.port);
    if (!address) {
        return refuse("not an IP address");
    }
    if (!address->loopback && (config.user.empty() || config.password.empty())) {
        return refuse("an address beyond this machine needs a user name and a password");
    }
    auto daemon = std::make_unique<Daemon>(*this, config);
    daemon->config.viewers = std::max(1, config.viewers);
    if (tls) {
        auto cert = readFile(config.certFile);
        auto key = readFile(config.keyFile);
        if (!cert || !key) {
            return refuse("cannot read " + (cert ? config.keyFile : config.certFile));
        }
        daemon->cert = std::move(*cert);
        daemon->key = std::move(*key);
    }
    std::vector<MHD_OptionItem> options{
        {MHD_OPTION_SOCK_ADDR, 0, &address->socket},
        {MHD_OPTION_CONNECTION_LIMIT,
         static_cast<intptr_t>(daemon->config.viewers) + otherConnections, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, idleTimeoutS, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, connectionMemoryBytes, nullptr},
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&Daemon::log), daemon.get()},
    };
    if (tls) {
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, daemon->cert.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, daemon->key.data()});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    const unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD |
                           MHD_USE_POLL | MHD_USE_ERROR_LOG | (ipv6 ? MHD_USE_IPv6 : 0) |
                           (tls ? MHD_USE_TLS : 0);
    daemon->handle = MHD_start_daemon(flags, 0, nullptr, nullptr, &Daemon::onRequest, daemon.get(),
                                      MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (!daemon->handle) {
        return refuse(daemon->lastError.empty() ? "the server did not start" : daemon->lastError);
    }
    daemon_ = std::move(daemon);
    url_ = std::string(tls ? "https" : "http") + "://" + where(port()) + "/";
    sink_("kavriWebCam: live view listening on " + url_);
    return true;
}
