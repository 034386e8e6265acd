#pragma once

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <optional>
#include <string>

class LiveSource;

// The answers of the live view's server to a request whose method, login and path have
// been read, except the stream itself: the page, the newest picture, the status, and the
// refusals. Each answer has its type and "no-cache"; HEAD gets the headers alone.
class LiveAnswers {
public:
    using Request = boost::beast::http::request<boost::beast::http::empty_body>;
    using Response = boost::beast::http::response<boost::beast::http::string_body>;

    LiveAnswers() = delete;

    // The answer for a GET or HEAD of path; none for the stream, which the connection serves.
    static std::optional<Response> forPath(const Request& request, const std::string& path,
                                           LiveSource& source);
    // A short text with the status, e.g. 404 "not found".
    static Response text(const Request& request, boost::beast::http::status status,
                         const std::string& text);
    // 401, asking for the login.
    static Response loginNeeded(const Request& request);
    // Whether the request carries the user's name and password (HTTP Basic); none when it
    // carries no login at all.
    static std::optional<bool> rightLogin(const Request& request, const std::string& user,
                                          const std::string& password);
    // The headers of the stream (multipart/x-mixed-replace, kept open until the end).
    static boost::beast::http::response<boost::beast::http::empty_body>
    streamHead(const Request& request);
    // The path of the request's target, without its query.
    static std::string path(const Request& request);
};
