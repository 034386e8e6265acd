#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The files by which OpenSSH's own tools know servers and the user: the known_hosts files
// and the user's default key files, read the way ssh reads them, so that a server trusted
// with ssh is trusted here and no other.
class SshFiles {
public:
    enum class HostKey {
        // A known_hosts file holds this key for the server.
        Known,
        // Neither file names the server with a key.
        Unknown,
        // The files hold other keys for the server, of whatever type, and not this one.
        Changed,
        // A file marks this key @revoked; nothing else the files say counts then.
        Revoked,
    };

    // Looks the server's host key (the raw key blob, as the server sent it) up in
    // ~/.ssh/known_hosts and /etc/ssh/ssh_known_hosts as ssh does: "[host]:port" for a port
    // other than 22, and the host alone when that finds nothing at all; patterns with '*' and
    // '?', negated ones with '!', and hashed names. @cert-authority lines vouch for
    // certificates only, so they never make a plain key known.
    static HostKey checkHostKey(const std::string& host, std::uint16_t port,
                                const std::string& keyBlob);
    // The types of the keys recorded for the server under its name with the port, as the
    // files name them ("ssh-ed25519"), in the files' order: ssh asks the server for these
    // first.
    static std::vector<std::string> recordedKeyTypes(const std::string& host, std::uint16_t port);
    // The first of ~/.ssh/id_ed25519, id_ecdsa and id_rsa that exists; empty when none does.
    static std::string defaultPrivateKey();
    // The path of a file in ~/.ssh, as written in advice to the user.
    static std::string userFile(const std::string& name);
};
