#include "net/ServerAddress.h"

#include <algorithm>
#include <iterator>
#include <strings.h>
#include <utility>

namespace {

// The forms of the host field: the scheme in front of the host picks the protocol. The first
// row is the one taken without a scheme.
struct Scheme {
    const char* prefix;
    ServerAddress::Protocol protocol;
    // How the transfer library names the protocol in a URL.
    const char* urlScheme;
    std::uint16_t standardPort;
    // What follows the server in the URL that remote paths are appended to.
    const char* basePath;
    // What may follow the host: nothing, a bucket (required) or a base path (optional).
    enum class Path { None, Bucket, Base } path = Path::None;
    // Whether words after '+' (a region, "public") may follow the scheme's name.
    bool takesWords = false;
};
constexpr Scheme schemes[] = {
    {"ftp://", ServerAddress::Protocol::Ftp, "ftp", 21, "/"},
    {"ftpes://", ServerAddress::Protocol::Ftpes, "ftp", 21, "/"},
    {"ftps://", ServerAddress::Protocol::Ftps, "ftps", 990, "/"},
    // SFTP paths are absolute; "/~/" stands for the login directory.
    {"sftp://", ServerAddress::Protocol::Sftp, "sftp", 22, "/~/"},
    // Object storage over HTTPS, the bucket named in the path (path-style requests).
    {"s3://", ServerAddress::Protocol::S3, "https", 443, "/", Scheme::Path::Bucket, true},
    {"dav://", ServerAddress::Protocol::Dav, "http", 80, "/", Scheme::Path::Base},
    {"davs://", ServerAddress::Protocol::Davs, "https", 443, "/", Scheme::Path::Base},
};

const char* const defaultRegion = "us-east-1";
constexpr std::size_t longestRegion = 32;

constexpr std::uint32_t largestPort = 65535;

bool isControl(char byte) {
    return static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F;
}

bool isHexDigitOr(char byte, std::string_view others) {
    return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'f') ||
           (byte >= 'A' && byte <= 'F') || others.find(byte) != std::string_view::npos;
}

// Letters, digits, '-', '.', '_', and the bytes of UTF-8 characters for international names.
bool isNameByte(char byte) {
    const auto code = static_cast<unsigned char>(byte);
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
           code >= 0x80;
}

// Hexadecimal digits, colons (at least two) and the dots of an embedded IPv4 address.
bool isIpv6(std::string_view text) {
    return std::ranges::count(text, ':') >= 2 &&
           std::ranges::all_of(text, [](char byte) { return isHexDigitOr(byte, ":."); });
}

// Splits the scheme off the host field, and the words after a '+' in it; the row it names,
// the first without one, or null for one that no row names or that takes no words.
const Scheme* takeScheme(std::string_view& rest, std::string_view& words) {
    const auto end = rest.find("://");
    if (end == std::string_view::npos) {
        return &schemes[0];
    }
    std::string_view name = rest.substr(0, end);
    rest.remove_prefix(end + 3);
    if (const auto plus = name.find('+'); plus != std::string_view::npos) {
        words = name.substr(plus + 1);
        name = name.substr(0, plus);
    }
    const std::string prefix = std::string(name) + "://";
    const auto* scheme = std::ranges::find_if(
        schemes, [&](const Scheme& row) { return strcasecmp(prefix.c_str(), row.prefix) == 0; });
    if (scheme == std::end(schemes) || (!words.empty() && !scheme->takesWords)) {
        return nullptr;
    }
    return scheme;
}

// The region in the name of an AWS endpoint ("s3.eu-central-1.amazonaws.com",
// "s3-eu-west-1.amazonaws.com"); empty for the global endpoint and for other servers.
std::string awsRegion(std::string_view host) {
    std::string name(host);
    std::ranges::transform(name, name.begin(), [](char byte) { return byte | 0x20; });
    for (const std::string_view suffix : {".amazonaws.com", ".amazonaws.com.cn"}) {
        if (name.size() > suffix.size() && name.ends_with(suffix)) {
            name.resize(name.size() - suffix.size());
            const std::string label = name.substr(name.rfind('.') + 1);
            if (label == "s3" || label == "s3-external-1") {
                return {};
            }
            return label.starts_with("s3-") ? label.substr(3) : label;
        }
    }
    return {};
}

// For the URL forms: splits a port written after the host ("name:9000", "[::1]:9000") off
// rest; false when what follows the colon is not a port.
bool takeFieldPort(std::string_view& rest, std::uint32_t& port) {
    const auto colon = rest.rfind(':');
    const bool afterBracket =
        colon != std::string_view::npos && colon > 0 && rest[colon - 1] == ']';
    if (colon == std::string_view::npos || (!afterBracket && std::ranges::count(rest, ':') != 1)) {
        return true;
    }
    const std::string_view digits = rest.substr(colon + 1);
    port = 0;
    for (const char byte : digits) {
        if (byte < '0' || byte > '9' || port > largestPort) {
            return false;
        }
        port = port * 10 + static_cast<std::uint32_t>(byte - '0');
    }
    rest = rest.substr(0, colon);
    return port >= 1 && port <= largestPort;
}

// What a path after the host may hold: the unreserved characters of a URL and '/'.
bool isPathByte(char byte) {
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') ||
           std::string_view("-._~/").find(byte) != std::string_view::npos;
}

} // namespace

ServerAddress ServerAddress::parse(std::string_view hostField, std::uint32_t portSetting) {
    ServerAddress address;
    // A line break would end the command the host is sent in and start another.
    if (std::ranges::any_of(hostField, isControl)) {
        return address.refuse("the host holds a control character");
    }
    if (hostField.find('@') != std::string_view::npos) {
        return address.refuse("the host field holds a user name or password; "
                              "type them into the user name and password fields");
    }
    std::string_view rest = hostField;
    std::string_view words;
    const Scheme* scheme = takeScheme(rest, words);
    if (scheme == nullptr) {
        std::string known = schemes[0].prefix;
        for (std::size_t row = 1; row < std::size(schemes); ++row) {
            known +=
                (row + 1 < std::size(schemes) ? ", " : " or ") + std::string(schemes[row].prefix);
        }
        return address.refuse("unknown scheme; use " + known);
    }
    address.protocol_ = scheme->protocol;
    address.urlScheme_ = scheme->urlScheme;
    address.basePath_ = scheme->basePath;
    std::string_view path;
    std::uint32_t fieldPort = 0;
    if (scheme->path != Scheme::Path::None) {
        const auto slash = std::min(rest.find('/'), rest.size());
        path = rest.substr(slash);
        rest = rest.substr(0, slash);
        if (!takeFieldPort(rest, fieldPort)) {
            return address.refuse("the port after the host is not a number from 1 to 65535");
        }
    }
    if (!address.takeHost(rest) ||
        (scheme->path != Scheme::Path::None &&
         !address.takePath(path, scheme->path == Scheme::Path::Bucket))) {
        return address;
    }
    if (scheme->takesWords) {
        address.region_ = awsRegion(address.host_);
        if (!address.takeWords(words)) {
            return address;
        }
        if (address.region_.empty()) {
            address.region_ = defaultRegion;
        }
    }
    if (portSetting > largestPort) {
        return address.refuse("the port " + std::to_string(portSetting) + " is above " +
                              std::to_string(largestPort));
    }
    if (fieldPort != 0) {
        portSetting = fieldPort;
    }
    address.port_ =
        portSetting == 0 ? scheme->standardPort : static_cast<std::uint16_t>(portSetting);
    address.refusal_.clear();
    return address;
}

bool ServerAddress::takeHost(std::string_view rest) {
    const auto refused = [this](const char* reason) {
        refuse(reason);
        return false;
    };
    if (rest.empty()) {
        return refused("no host given");
    }
    if (rest.find('/') != std::string_view::npos) {
        return refused("the host field holds a path; put it in the destination field");
    }
    if (rest.find('?') != std::string_view::npos) {
        return refused("the host field holds a query (?), which has no place there");
    }
    if (rest.find('#') != std::string_view::npos) {
        return refused("the host field holds a fragment (#), which has no place there");
    }
    const bool bracketed = rest.front() == '[';
    const auto close = rest.find(']');
    if (bracketed && close != std::string_view::npos && close + 1 < rest.size() &&
        rest[close + 1] == ':') {
        return refused("the host field holds a port; put it in the port field");
    }
    if (bracketed) {
        if (close + 1 != rest.size() || !isIpv6(rest.substr(1, close - 1))) {
            return refused("not a host name or address");
        }
        host_ = rest;
        return true;
    }
    if (std::ranges::count(rest, ':') == 1) {
        return refused("the host field holds a port; put it in the port field");
    }
    if (isIpv6(rest)) {
        host_ = "[" + std::string(rest) + "]";
        return true;
    }
    if (!std::ranges::all_of(rest, isNameByte)) {
        return refused("not a host name or address");
    }
    host_ = rest;
    return true;
}

bool ServerAddress::takePath(std::string_view path, bool bucket) {
    const auto refused = [this](const char* reason) {
        refuse(reason);
        return false;
    };
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    if (path.find('?') != std::string_view::npos) {
        return refused("the host field holds a query (?), which has no place there");
    }
    if (path.find('#') != std::string_view::npos) {
        return refused("the host field holds a fragment (#), which has no place there");
    }
    if (!std::ranges::all_of(path, isPathByte) || path.find("//") != std::string_view::npos) {
        return refused("the path after the host holds characters other than letters, digits, "
                       "- . _ ~ and single /");
    }
    if (bucket && (path.size() < 2 || path.find('/', 1) != std::string_view::npos)) {
        return refused("no bucket given; write s3://ENDPOINT/BUCKET");
    }
    path_ = path == "/" ? "" : path;
    return true;
}

bool ServerAddress::takeWords(std::string_view words) {
    while (!words.empty()) {
        const auto plus = std::min(words.find('+'), words.size());
        const std::string_view word = words.substr(0, plus);
        words.remove_prefix(std::min(plus + 1, words.size()));
        if (strncasecmp(word.data(), "public", word.size()) == 0 && word.size() == 6) {
            publicRead_ = true;
        } else if (!word.empty() && word.size() <= longestRegion &&
                   std::ranges::all_of(word, [](char byte) {
                       return (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                              byte == '-';
                   })) {
            region_ = word;
        } else {
            refuse("unknown word after s3+; write a region or public, e.g. s3+eu-west-1+public://");
            return false;
        }
    }
    return true;
}

ServerAddress& ServerAddress::refuse(std::string reason) {
    refusal_ = std::move(reason);
    host_.clear();
    path_.clear();
    region_.clear();
    publicRead_ = false;
    port_ = 0;
    return *this;
}

std::string ServerAddress::bareHost() const {
    const bool bracketed = host_.size() > 2 && host_.front() == '[';
    return bracketed ? host_.substr(1, host_.size() - 2) : host_;
}

std::string ServerAddress::serverName() const {
    return host_ + ":" + std::to_string(port_);
}

std::string ServerAddress::baseUrl() const {
    return std::string(urlScheme_) + "://" + serverName() + path_ + basePath_;
}

std::string ServerAddress::encodePath(const std::string& path) {
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
