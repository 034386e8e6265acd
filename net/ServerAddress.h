#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where uploads go, as the host field and the port setting name it: the protocol chosen by
// the scheme in front of the host (none means ftp://), the host and the port. Parsed once,
// strictly: the host field holds a scheme and a host name, an IPv4 address or an IPv6
// address (in brackets or bare), and for object storage and WebDAV a path after the host
// (s3://ENDPOINT/BUCKET, davs://HOST/BASE), nothing else. User information, a port, a path
// where none belongs, a query, a fragment, a blank or a control character in it, an unknown
// scheme, an empty host or a port above 65535 make the address refused, with a reason that
// never quotes the field, so that a password typed into it is never shown.
//
// In these URL forms a port may follow the host ("s3://127.0.0.1:9000/cam"); it takes the
// place of the port setting. The S3 scheme takes words after a '+': a region ("s3+eu-west-1://")
// and "public" for objects everybody may read ("s3+public://", "s3+eu-west-1+public://").
class ServerAddress {
public:
    enum class Protocol { Ftp, Ftpes, Ftps, Sftp, S3, Dav, Davs };

    // The message shown when no connection can be made to the server, a refused address
    // included.
    static constexpr const char* connectMessage =
        "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";

    // A refused address with no reason yet; parse makes the usable ones.
    ServerAddress() = default;
    // portSetting 0 stands for the scheme's standard port.
    static ServerAddress parse(std::string_view hostField, std::uint32_t portSetting);

    // A remote path as it goes after baseUrl(): every byte reaches the server unchanged, all
    // but the unreserved characters and the path separators percent-encoded, so that nothing
    // in the name (blanks, '%', '#', '?', ';type=', bytes above 127) is read as URL syntax.
    static std::string encodePath(const std::string& path);

    bool usable() const { return refusal_.empty(); }
    // Why the address is refused, in a few words; empty when it is usable.
    const std::string& refusal() const { return refusal_; }

    Protocol protocol() const { return protocol_; }
    // How the transfer library names the protocol, as in a URL ("ftp", "ftps", "sftp",
    // "https", "http").
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
    // login directory; for S3 it ends in the bucket, for WebDAV in the base path.
    std::string baseUrl() const;
    // For S3 and WebDAV: the path after the host, "/BUCKET" or "/BASE" ("" for none).
    const std::string& path() const { return path_; }
    // For S3: the region requests are signed for: the one named after '+', else the one in
    // an AWS endpoint's name, else "us-east-1".
    const std::string& region() const { return region_; }
    // For S3: whether stored objects are for everybody to read.
    bool publicRead() const { return publicRead_; }

private:
    // Takes the host; false when it is not a host.
    bool takeHost(std::string_view rest);
    // Takes the path after the host as the scheme's row allows it; false when refused.
    bool takePath(std::string_view path, bool bucket);
    // Takes the words after '+' of the S3 scheme; false when one is not understood.
    bool takeWords(std::string_view words);
    ServerAddress& refuse(std::string reason);

    Protocol protocol_ = Protocol::Ftp;
    const char* urlScheme_ = "ftp";
    const char* basePath_ = "/";
    std::string host_;
    std::string path_;
    std::string region_;
    bool publicRead_ = false;
    std::uint16_t port_ = 0;
    std::string refusal_ = "no host given";
};
