#include "live/LiveSession.h"

#include <boost/asio/write.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <chrono>
#include <type_traits>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace {

// Bounds of a connection: the size of a request's headers, how long a request, the TLS
// handshake or the sending of a part may take, and the wait before a failed login's answer.
constexpr std::uint32_t requestHeaderBytes = 16 * 1024;
constexpr auto requestTime = std::chrono::seconds(10);
constexpr auto failedLoginDelay = std::chrono::seconds(1);

template <class Stream> constexpr bool isTls = !std::is_same_v<Stream, beast::tcp_stream>;

} // namespace

template <class Stream>
LiveSession<Stream>::LiveSession(LiveHub& hub, Stream stream)
    : hub_(hub)
    , stream_(std::move(stream))
    , loginDelay_(stream_.get_executor()) {
    hub_.connections.insert(this);
}

template <class Stream> LiveSession<Stream>::~LiveSession() {
    hub_.connections.erase(this);
    if (viewer_) {
        hub_.frames.removeViewer();
    }
}

template <class Stream> void LiveSession<Stream>::start() {
    if constexpr (isTls<Stream>) {
        beast::get_lowest_layer(stream_).expires_after(requestTime);
        stream_.async_handshake(asio::ssl::stream_base::server,
                                [self = this->shared_from_this()](beast::error_code error) {
                                    if (!error) {
                                        self->read();
                                    }
                                });
    } else {
        read();
    }
}

template <class Stream> void LiveSession<Stream>::close() {
    loginDelay_.cancel();
    beast::error_code ignored;
    beast::get_lowest_layer(stream_).socket().close(ignored);
}

template <class Stream> void LiveSession<Stream>::read() {
    parser_.emplace();
    parser_->header_limit(requestHeaderBytes);
    beast::get_lowest_layer(stream_).expires_after(requestTime);
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self = this->shared_from_this()](beast::error_code error, std::size_t) {
            if (error == http::error::header_limit) {
                // The request was not read whole, so its version is not known: HTTP/1.1.
                LiveAnswers::Response response{http::status::request_header_fields_too_large, 11};
                response.keep_alive(false);
                response.prepare_payload();
                self->reply(std::move(response));
            } else if (!error && !self->hub_.stopping) {
                self->answer();
            }
        });
}

template <class Stream> void LiveSession<Stream>::answer() {
    const LiveAnswers::Request& request = parser_->get();
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
        auto response =
            LiveAnswers::text(request, http::status::method_not_allowed, "only GET and HEAD\n");
        response.set(http::field::allow, "GET, HEAD");
        response.keep_alive(false);
        reply(std::move(response));
        return;
    }
    if (!parser_->is_done()) {
        auto response = LiveAnswers::text(request, http::status::bad_request, "no body here\n");
        response.keep_alive(false);
        reply(std::move(response));
        return;
    }
    const auto login = hub_.user.empty()
                           ? std::optional(true)
                           : LiveAnswers::rightLogin(request, hub_.user, hub_.password);
    if (!login) {
        reply(LiveAnswers::loginNeeded(request));
        return;
    }
    if (!*login) {
        // Guessing takes a second a try.
        loginDelay_.expires_after(failedLoginDelay);
        loginDelay_.async_wait([self = this->shared_from_this()](beast::error_code error) {
            if (!error && !self->hub_.stopping) {
                self->reply(LiveAnswers::loginNeeded(self->parser_->get()));
            }
        });
        return;
    }
    if (auto response = LiveAnswers::forPath(request, LiveAnswers::path(request), hub_.source)) {
        reply(std::move(*response));
    } else {
        startStream();
    }
}

template <class Stream> void LiveSession<Stream>::reply(LiveAnswers::Response response) {
    response_ = std::move(response);
    beast::get_lowest_layer(stream_).expires_after(requestTime);
    http::async_write(stream_, response_,
                      [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                          if (error || self->hub_.stopping) {
                              return;
                          }
                          if (self->response_.keep_alive()) {
                              self->read();
                          } else {
                              self->end();
                          }
                      });
}

template <class Stream> void LiveSession<Stream>::end() {
    if constexpr (isTls<Stream>) {
        beast::get_lowest_layer(stream_).expires_after(requestTime);
        stream_.async_shutdown([self = this->shared_from_this()](beast::error_code) {});
    } else {
        beast::error_code ignored;
        stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    }
}

template <class Stream> void LiveSession<Stream>::startStream() {
    const LiveAnswers::Request& request = parser_->get();
    if (!hub_.frames.addViewer(hub_.viewers)) {
        auto response =
            LiveAnswers::text(request, http::status::service_unavailable, "too many viewers\n");
        response.keep_alive(false);
        reply(std::move(response));
        return;
    }
    viewer_ = true;
    streamHead_ = LiveAnswers::streamHead(request);
    streamWriter_.emplace(streamHead_);
    beast::get_lowest_layer(stream_).expires_after(requestTime);
    http::async_write_header(
        stream_, *streamWriter_,
        [self = this->shared_from_this()](beast::error_code error, std::size_t) {
            if (!error && !self->hub_.stopping) {
                self->nextPart();
            }
        });
}

// The newest frame once the viewer has taken the one before; while there is none, it waits
// for one, and gets the "no camera" picture at each tick while there is no camera.
template <class Stream> void LiveSession<Stream>::nextPart() {
    if (auto frame = hub_.frames.newest(part_.number)) {
        send(std::move(*frame));
        return;
    }
    if (hub_.ticks != waitedFromTick_) {
        if (auto noCamera = hub_.frames.noCamera(part_.number)) {
            send(std::move(*noCamera));
            return;
        }
    }
    waitedFromTick_ = hub_.ticks;
    hub_.frameArrived.async_wait([self = this->shared_from_this()](beast::error_code) {
        if (!self->hub_.stopping) {
            self->nextPart();
        }
    });
}

template <class Stream> void LiveSession<Stream>::send(LiveFrames::Frame frame) {
    part_ = std::move(frame);
    sent_ = 0;
    waitedFromTick_ = hub_.ticks;
    sendRest();
}

// The rest of the part; a viewer that takes nothing of it for the request time is let go.
template <class Stream> void LiveSession<Stream>::sendRest() {
    beast::get_lowest_layer(stream_).expires_after(requestTime);
    stream_.async_write_some(
        asio::buffer(*part_.part) + sent_,
        [self = this->shared_from_this()](beast::error_code error, std::size_t count) {
            if (error || self->hub_.stopping) {
                return;
            }
            self->sent_ += count;
            if (self->sent_ < self->part_.part->size()) {
                self->sendRest();
            } else {
                self->nextPart();
            }
        });
}

template class LiveSession<beast::tcp_stream>;
template class LiveSession<beast::ssl_stream<beast::tcp_stream>>;
