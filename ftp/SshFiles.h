#pragma once

#include <cstdint>
#include <string>

// The files by which OpenSSH's own tools know servers and the user: the known_hosts files
// and the user's default key files, read the way ssh reads them, so that a server trusted
// with ssh is trusted here and no other.
class SshFiles {
public:
    enum class HostKey {
        // A known_hosts file holds this key for the server.
        Known,
        // Neither file names the server with a key of this type.
        Unknown,
        // A file holds another key of this type for the server, and none holds this one.
        Changed,
    };

    // Looks the server's host key (the raw key blob, as the server sent it) up in
    // ~/.ssh/known_hosts and /etc/ssh/ssh_known_hosts; hashed and "[host]:port" entries
    // included.
    static HostKey checkHostKey(const std::string& host, std::uint16_t port,
                                const std::string& keyBlob);
    // The first of ~/.ssh/id_ed25519, id_ecdsa and id_rsa that exists; empty when none does.
    static std::string defaultPrivateKey();
    // The path of a file in ~/.ssh, as written in advice to the user.
    static std::string userFile(const std::string& name);
};
