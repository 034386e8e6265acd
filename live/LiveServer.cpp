#include "live/LiveServer.h"

#include "base/HealthLine.h"
#include "live/LiveFrames.h"
#include "live/LiveHub.h"
#include "live/LiveSession.h"
#include "settings/ListenAddress.h"
#include "settings/Settings.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

namespace {

// Connections beyond the viewers: pages, pictures and status requests.
constexpr std::size_t otherConnections = 16;
// The "no camera" picture comes once a second while there is no camera.
constexpr auto noCameraEvery = std::chrono::seconds(1);
// After a failed accept (no descriptor left, say), the next one waits a little.
constexpr auto acceptRetry = std::chrono::milliseconds(100);

std::optional<std::string> readFile(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
        return std::nullopt;
    }
    return std::move(text).str();
}

// Opens the acceptor and listens on endpoint; why it cannot, if it cannot.
std::optional<std::string> listen(tcp::acceptor& acceptor, const tcp::endpoint& endpoint) {
    beast::error_code error;
    acceptor.open(endpoint.protocol(), error);
    if (!error) {
        acceptor.set_option(asio::socket_base::reuse_address(true), error);
    }
    if (!error) {
        acceptor.bind(endpoint, error);
    }
    if (!error) {
        acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    return error ? std::optional(error.message()) : std::nullopt;
}

} // namespace

// The server while it runs: its own thread runs every connection, each frame's arrival and
// the ticks of the "no camera" picture, one after the other.
struct LiveServer::Running {
    Running(LiveSource& source, LiveFrames& frames)
        : hub(io, source, frames) {}

    void accept();
    void tickEverySecond();
    // From the server's thread: ends every connection, and with them the thread's work.
    void shutDown();

    asio::io_context io;
    LiveHub hub;
    tcp::acceptor acceptor{io};
    asio::steady_timer tick{io};
    asio::steady_timer acceptWait{io};
    std::optional<asio::ssl::context> tls;
    std::size_t connectionLimit = 0;
    unsigned port = 0;
    std::thread thread;
};

void LiveServer::Running::accept() {
    acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (hub.stopping) {
            return;
        }
        if (error) {
            acceptWait.expires_after(acceptRetry);
            acceptWait.async_wait([this](beast::error_code waited) {
                if (!waited && !hub.stopping) {
                    accept();
                }
            });
            return;
        }
        // Beyond the limit a connection is closed at once.
        if (hub.connections.size() < connectionLimit) {
            beast::tcp_stream stream(std::move(socket));
            if (tls) {
                std::make_shared<LiveSession<beast::ssl_stream<beast::tcp_stream>>>(
                    hub, beast::ssl_stream<beast::tcp_stream>(std::move(stream), *tls))
                    ->start();
            } else {
                std::make_shared<LiveSession<beast::tcp_stream>>(hub, std::move(stream))->start();
            }
        }
        accept();
    });
}

void LiveServer::Running::tickEverySecond() {
    tick.expires_after(noCameraEvery);
    tick.async_wait([this](beast::error_code error) {
        if (error || hub.stopping) {
            return;
        }
        ++hub.ticks;
        hub.frameArrived.cancel();
        tickEverySecond();
    });
}

void LiveServer::Running::shutDown() {
    hub.stopping = true;
    beast::error_code ignored;
    acceptor.close(ignored);
    tick.cancel();
    acceptWait.cancel();
    hub.frameArrived.cancel();
    for (LiveConnection* connection : std::vector(hub.connections.begin(), hub.connections.end())) {
        connection->close();
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
    return running_ != nullptr;
}

unsigned LiveServer::port() const {
    return running_ ? running_->port : 0;
}

const std::string& LiveServer::refusal() const {
    return refusal_;
}

std::string LiveServer::url() const {
    return running_ ? url_ : std::string();
}

void LiveServer::stop() {
    if (!running_) {
        return;
    }
    frames_.setListener({});
    asio::post(running_->io, [running = running_.get()] { running->shutDown(); });
    running_->thread.join();
    running_.reset();
}

bool LiveServer::start(const Config& config) {
    stop();
    const bool tls = !config.certFile.empty() || !config.keyFile.empty();
    const bool ipv6 = config.address.find(':') != std::string::npos;
    const auto where = [&](unsigned port) {
        return (ipv6 ? "[" + config.address + "]" : config.address) + ":" + std::to_string(port);
    };
    const auto refuse = [&](const std::string& why) {
        refusal_ = where(config.port) + ": " + why;
        sink_("kavriWebCam: live view cannot listen on " + refusal_);
        return false;
    };
    const auto address = ListenAddress::parse(config.address, config.port);
    if (!address) {
        return refuse("not an IP address");
    }
    if (!address->loopback && (config.user.empty() || config.password.empty())) {
        return refuse("an address beyond this machine needs a user name and a password");
    }
    auto running = std::make_unique<Running>(source_, frames_);
    if (tls) {
        const auto cert = readFile(config.certFile);
        const auto key = readFile(config.keyFile);
        if (!cert || !key) {
            return refuse("cannot read " + (cert ? config.keyFile : config.certFile));
        }
        beast::error_code error;
        running->tls.emplace(asio::ssl::context::tls_server);
        running->tls->set_options(asio::ssl::context::default_workarounds |
                                  asio::ssl::context::no_sslv2 | asio::ssl::context::no_sslv3 |
                                  asio::ssl::context::no_tlsv1 | asio::ssl::context::no_tlsv1_1);
        running->tls->use_certificate_chain(asio::buffer(*cert), error);
        if (!error) {
            running->tls->use_private_key(asio::buffer(*key), asio::ssl::context::pem, error);
        }
        if (error) {
            return refuse(config.certFile + ", " + config.keyFile + ": " + error.message());
        }
    }
    beast::error_code error;
    const auto ip = asio::ip::make_address(config.address, error);
    if (error) {
        return refuse("not an IP address");
    }
    if (const auto why = listen(running->acceptor,
                                tcp::endpoint(ip, static_cast<unsigned short>(config.port)))) {
        return refuse(*why);
    }
    running->port = running->acceptor.local_endpoint().port();
    running->hub.user = config.user;
    running->hub.password = config.password;
    running->hub.viewers = std::max(1, config.viewers);
    running->connectionLimit = static_cast<std::size_t>(running->hub.viewers) + otherConnections;
    running->accept();
    running->tickEverySecond();
    frames_.setListener([running = running.get()] {
        asio::post(running->io, [running] { running->hub.frameArrived.cancel(); });
    });
    running->thread = std::thread([running = running.get()] { running->io.run(); });
    running_ = std::move(running);
    url_ = std::string(tls ? "https" : "http") + "://" + where(port()) + "/";
    refusal_.clear();
    sink_("kavriWebCam: live view listening on " + url_);
    return true;
}
