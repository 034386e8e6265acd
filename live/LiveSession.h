#pragma once

#include "live/LiveAnswers.h"
#include "live/LiveFrames.h"
#include "live/LiveHub.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/serializer.hpp>

#include <memory>
#include <optional>

// One connection of the live view's server, over Stream (plain TCP or TLS): it reads the
// requests one after the other, each within the time and size bounds, and answers them;
// a request for the stream turns it into a viewer, which is sent the newest frame each time
// it has taken the one before, straight from the frame's shared bytes. A failed login is
// answered after a second. Used on the server's thread only; kept alive by its pending work.
template <class Stream>
class LiveSession : public LiveConnection,
                    public std::enable_shared_from_this<LiveSession<Stream>> {
public:
    LiveSession(LiveHub& hub, Stream stream);
    ~LiveSession() override;
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    void start();
    void close() override;

private:
    void read();
    void answer();
    void reply(LiveAnswers::Response response);
    void end();
    void startStream();
    void nextPart();
    void send(LiveFrames::Frame frame);
    void sendRest();

    LiveHub& hub_;
    Stream stream_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::empty_body>> parser_;
    LiveAnswers::Response response_;
    boost::beast::http::response<boost::beast::http::empty_body> streamHead_;
    std::optional<boost::beast::http::response_serializer<boost::beast::http::empty_body>>
        streamWriter_;
    boost::asio::steady_timer loginDelay_;
    // The part being sent and the number of the frame it holds.
    LiveFrames::Frame part_;
    std::size_t sent_ = 0;
    bool viewer_ = false;
    // The tick of the "no camera" picture when the viewer began to wait.
    std::uint64_t waitedFromTick_ = 0;
};
