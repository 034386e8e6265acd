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
};
constexpr Scheme schemes[] = {
    {"ftp://", ServerAddress::Protocol::Ftp, "ftp", 21, "/"},
    {"ftpes://", ServerAddress::Protocol::Ftpes, "ftp", 21, "/"},
    {"ftps://", ServerAddress::Protocol::Ftps, "ftps", 990, "/"},
    // SFTP paths are absolute; "/~/" stands for the login directory.
    {"sftp://", ServerAddress::Protocol::Sftp, "sftp", 22, "/~/"},
};

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

// Splits the scheme off the host field; the row it names, the first without one, or null for
// one that no row names.
const Scheme* takeScheme(std::string_view& rest) {
    const auto end = rest.find("://");
    if (end == std::string_view::npos) {
        return &schemes[0];
    }
    const std::string prefix(rest.substr(0, end + 3));
    rest.remove_prefix(end + 3);
    const auto* scheme = std::ranges::find_if(
        schemes, [&](const Scheme& row) { return strcasecmp(prefix.c_str(), row.prefix) == 0; });
    return scheme == std::end(schemes) ? nullptr : scheme;
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
    const Scheme* scheme = takeScheme(rest);
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
    if (!address.takeHost(rest)) {
        return address;
    }
    if (portSetting > largestPort) {
        return address.refuse("the port " + std::to_string(portSetting) + " is above " +
                              std::to_string(largestPort));
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

ServerAddress& ServerAddress::refuse(std::string reason) {
    refusal_ = std::move(reason);
    host_.clear();
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
    return std::string(urlScheme_) + "://" + serverName() + basePath_;
}
