// Feeds arbitrary bytes to the live view's server as a request, read as the server reads it:
// whatever the headers, the login is refused unless it is "watcher:s3cret", the paths of
// the server's routes are served and any other is not found, and nothing crashes. A violation
// aborts, so libFuzzer keeps it.
#include "live/LiveAnswers.h"
#include "live/LiveSource.h"

#include <boost/beast/http/parser.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace http = boost::beast::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    http::request_parser<http::empty_body> parser;
    parser.header_limit(16 * 1024);
    parser.eager(false);
    boost::beast::error_code error;
    parser.put(boost::asio::buffer(data, size), error);
    if (error || !parser.is_header_done()) {
        return 0;
    }
    const LiveAnswers::Request& request = parser.get();
    const auto login = LiveAnswers::rightLogin(request, "watcher", "s3cret");
    const std::string field(request[http::field::authorization]);
    // Only "watcher:s3cret" in Base64 is right (the last character's unused bits aside).
    if (login && *login && (field.size() != 26 || !field.starts_with("Basic d2F0Y2hlcjpzM2NyZX"))) {
        std::abort();
    }
    static LiveSource source;
    const std::string path = LiveAnswers::path(request);
    const auto answer = LiveAnswers::forPath(request, path, source);
    const bool known =
        path == "/" || path == "/image.jpg" || path == "/status" || path == "/stream";
    if (answer && (answer->result() == http::status::not_found) == known) {
        std::abort();
    }
    return 0;
}
