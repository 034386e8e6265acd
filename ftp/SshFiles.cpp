#include "ftp/SshFiles.h"

#include <libssh2.h>

#include <cstdlib>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace {

const char* const systemKnownHosts = "/etc/ssh/ssh_known_hosts";

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

// The key type as libssh2 names it, from the name at the head of the key blob.
int keyType(const std::string& blob) {
    struct Type {
        const char* name;
        int type;
    };
    static const Type types[] = {{"ssh-ed25519", LIBSSH2_KNOWNHOST_KEY_ED25519},
                                 {"ecdsa-sha2-nistp256", LIBSSH2_KNOWNHOST_KEY_ECDSA_256},
                                 {"ecdsa-sha2-nistp384", LIBSSH2_KNOWNHOST_KEY_ECDSA_384},
                                 {"ecdsa-sha2-nistp521", LIBSSH2_KNOWNHOST_KEY_ECDSA_521},
                                 {"ssh-rsa", LIBSSH2_KNOWNHOST_KEY_SSHRSA},
                                 {"ssh-dss", LIBSSH2_KNOWNHOST_KEY_SSHDSS}};
    if (blob.size() < 4) {
        return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
    }
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(blob[i]); };
    const std::size_t length = (std::size_t{byte(0)} << 24) | (std::size_t{byte(1)} << 16) |
                               (std::size_t{byte(2)} << 8) | byte(3);
    if (length > blob.size() - 4) {
        return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
    }
    const std::string name = blob.substr(4, length);
    for (const Type& type : types) {
        if (name == type.name) {
            return type.type;
        }
    }
    return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
}

struct SessionDeleter {
    void operator()(LIBSSH2_SESSION* session) const { libssh2_session_free(session); }
};
struct KnownHostsDeleter {
    void operator()(LIBSSH2_KNOWNHOSTS* hosts) const { libssh2_knownhost_free(hosts); }
};

} // namespace

SshFiles::HostKey SshFiles::checkHostKey(const std::string& host, std::uint16_t port,
                                         const std::string& keyBlob) {
    const int type = keyType(keyBlob);
    if (type == LIBSSH2_KNOWNHOST_KEY_UNKNOWN) {
        return HostKey::Unknown;
    }
    // The known-hosts functions need a session object; it is never connected.
    const std::unique_ptr<LIBSSH2_SESSION, SessionDeleter> session(libssh2_session_init());
    if (!session) {
        return HostKey::Unknown;
    }
    // As ssh writes the server in the files: a port other than 22 is part of the name.
    const std::string name = port == 22 ? host : "[" + host + "]:" + std::to_string(port);
    bool changed = false;
    for (const std::string& file : {userFile("known_hosts"), std::string(systemKnownHosts)}) {
        const std::unique_ptr<LIBSSH2_KNOWNHOSTS, KnownHostsDeleter> hosts(
            libssh2_knownhost_init(session.get()));
        if (!hosts || libssh2_knownhost_readfile(hosts.get(), file.c_str(),
                                                 LIBSSH2_KNOWNHOST_FILE_OPENSSH) < 0) {
            continue;
        }
        const int found = libssh2_knownhost_checkp(
            hosts.get(), name.c_str(), -1, keyBlob.data(), keyBlob.size(),
            LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | type, nullptr);
        if (found == LIBSSH2_KNOWNHOST_CHECK_MATCH) {
            return HostKey::Known;
        }
        changed = changed || found == LIBSSH2_KNOWNHOST_CHECK_MISMATCH;
    }
    return changed ? HostKey::Changed : HostKey::Unknown;
}

std::string SshFiles::defaultPrivateKey() {
    for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
        const std::string path = userFile(name);
        if (access(path.c_str(), F_OK) == 0) {
            return path;
        }
    }
    return {};
}

std::string SshFiles::userFile(const std::string& name) {
    return homeDirectory() + "/.ssh/" + name;
}
