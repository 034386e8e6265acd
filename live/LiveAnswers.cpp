#include "live/LiveAnswers.h"

#include "live/LiveFrames.h"
#include "live/LivePage.h"
#include "live/LiveSource.h"

#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace http = boost::beast::http;

namespace {

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

// Compares in a time that does not tell how much of a guess was right.
bool sameSecret(const std::string& given, const std::string& secret) {
    unsigned char difference = given.size() == secret.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i] ^ secret[i % (secret.size() + 1)]);
    }
    return difference == 0;
}

// The fields of every answer: its type, and neither cached nor sniffed.
template <class Body> void describe(http::response<Body>& response, const std::string& type) {
    response.set(http::field::content_type, type);
    response.set(http::field::cache_control, "no-cache");
    response.set("X-Content-Type-Options", "nosniff");
}

std::string streamType() {
    return "multipart/x-mixed-replace; boundary=" + std::string(LiveFrames::boundary);
}

LiveAnswers::Response answer(const LiveAnswers::Request& request, http::status status,
                             std::string body, const std::string& type) {
    LiveAnswers::Response response{status, request.version()};
    describe(response, type);
    response.keep_alive(request.keep_alive());
    response.body() = std::move(body);
    response.prepare_payload();
    if (request.method() == http::verb::head) {
        response.body().clear();
    }
    return response;
}

LiveAnswers::Response image(const LiveAnswers::Request& request, LiveSource& source) {
    const auto newest = source.image();
    if (!newest) {
        return LiveAnswers::text(request, http::status::service_unavailable, "no picture yet\n");
    }
    const std::string tag = "\"" +
                            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                               newest->written.time_since_epoch())
                                               .count()) +
                            "-" + std::to_string(newest->number) + "\"";
    const bool unchanged = request[http::field::if_none_match] == tag;
    auto response = answer(request, unchanged ? http::status::not_modified : http::status::ok,
                           unchanged ? std::string() : *newest->jpeg, "image/jpeg");
    response.set(http::field::etag, tag);
    response.set(http::field::last_modified, httpDate(newest->written));
    return response;
}

} // namespace

std::string LiveAnswers::path(const Request& request) {
    const auto target = request.target();
    return std::string(target.substr(0, target.find('?')));
}

LiveAnswers::Response LiveAnswers::text(const Request& request, http::status status,
                                        const std::string& text) {
    return answer(request, status, text, "text/plain; charset=utf-8");
}

LiveAnswers::Response LiveAnswers::loginNeeded(const Request& request) {
    auto response =
        text(request, http::status::unauthorized, "a user name and a password are needed\n");
    response.set(http::field::www_authenticate, "Basic realm=\"kavriWebCam\"");
    return response;
}

std::optional<bool> LiveAnswers::rightLogin(const Request& request, const std::string& user,
                                            const std::string& password) {
    const std::string field(request[http::field::authorization]);
    constexpr std::string_view basic = "Basic ";
    if (field.empty()) {
        return std::nullopt;
    }
    if (!field.starts_with(basic) || (field.size() - basic.size()) % 4 != 0) {
        return false;
    }
    const std::string coded = field.substr(basic.size());
    std::string decoded(coded.size() / 4 * 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                                       reinterpret_cast<const unsigned char*>(coded.data()),
                                       static_cast<int>(coded.size()));
    if (length < 0) {
        return false;
    }
    // The decoder counts the padding's zero bytes.
    const auto padding = static_cast<int>(coded.size() - coded.find_last_not_of('=') - 1);
    decoded.resize(static_cast<std::size_t>(std::max(0, length - padding)));
    const std::size_t colon = decoded.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    const bool userRight = sameSecret(decoded.substr(0, colon), user);
    return sameSecret(decoded.substr(colon + 1), password) && userRight;
}

std::optional<LiveAnswers::Response>
LiveAnswers::forPath(const Request& request, const std::string& path, LiveSource& source) {
    if (path == "/") {
        auto response =
            answer(request, http::status::ok, std::string(livePage()), "text/html; charset=utf-8");
        response.set("Content-Security-Policy", "default-src 'self'; style-src 'unsafe-inline'; "
                                                "script-src 'unsafe-inline'");
        return response;
    }
    if (path == "/image.jpg") {
        return image(request, source);
    }
    if (path == "/stream") {
        if (request.method() == http::verb::head) {
            return answer(request, http::status::ok, "", streamType());
        }
        return std::nullopt;
    }
    if (path == "/status") {
        return answer(request, http::status::ok, source.statusJson(), "application/json");
    }
    return text(request, http::status::not_found, "not found\n");
}

http::response<http::empty_body> LiveAnswers::streamHead(const Request& request) {
    http::response<http::empty_body> head{http::status::ok, request.version()};
    describe(head, streamType());
    head.keep_alive(false);
    return head;
}
