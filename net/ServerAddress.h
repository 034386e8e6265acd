#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where uploads go, as the host field and the port setting name it: the protocol chosen by
// the scheme in front of the host (none means ftp://), the host and the port. Parsed once,
// strictly: the host field holds a scheme and a host name, an IPv4 address or an IPv6
// address (in brackets or bare), nothing else. User information, a port, a path, a query, a
// fragment, a blank or a control character in it, an unknown scheme, an empty host or a
// port above 65535 make the address refused, with a reason that never quotes the field, so
// that a password typed into it is never shown.
class ServerAddress {
public:
    enum class Protocol { Ftp, Ftpes, Ftps, Sftp };

    // The message shown when no connection can be made to the server, a refused address
    // included.
    static constexpr const char* connectMessage =
        "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";

    // A refused address with no reason yet; parse makes the usable ones.
    ServerAddress() = default;
    // portSetting 0 stands for the scheme's standard port.
    static ServerAddress parse(std::string_view hostField, std::uint32_t portSetting);

    bool usable() const { return refusal_.empty(); }
    // Why the address is refused, in a few words; empty when it is usable.
    const std::string& refusal() const { return refusal_; }

    Protocol protocol() const { return protocol_; }
    // How the transfer library names the protocol, as in a URL ("ftp", "ftps", "sftp").
    const char* urlScheme() const { return urlScheme_; }
    // As in a URL: an IPv6 address in brackets.
    const std::string& host() const { return host_; }
    // An IPv6 address without its brackets, as ssh's known_hosts files name it.
    std::string bareHost() const;
    // The port in use: the one set, or the scheme's standard port.
    std::uint16_t port() const { return port_; }
    // "host:port", the server's name in a failure reason.
    std::string serverName() const;
    // The URL the paths of remote files are appended to; for SFTP, "/~/" stands for the
    // login directory.
    std::string baseUrl() const;

private:
    // Takes the host; false when it is not a host.
    bool takeHost(std::string_view rest);
    ServerAddress& refuse(std::string reason);

    Protocol protocol_ = Protocol::Ftp;
    const char* urlScheme_ = "ftp";
    const char* basePath_ = "/";
    std::string host_;
    std::uint16_t port_ = 0;
    std::string refusal_ = "no host given";
};
