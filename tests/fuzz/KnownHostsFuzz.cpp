// Feeds arbitrary known_hosts files to the host key check: it never crashes, and a key the
// file marks @revoked anywhere is never trusted, whatever else the file says. A violation
// aborts, so libFuzzer keeps it.
#include "ftp/SshFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// The base64 of a 51-byte ed25519 key blob: "ssh-ed25519" and 32 zero bytes.
const char* const keyBase64 =
    "AAAAC3NzaC1lZDI1NTE5AAAAIAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";

std::string keyBlob() {
    std::string blob("\0\0\0\x0bssh-ed25519\0\0\0\x20", 19);
    return blob + std::string(32, '\0');
}

std::filesystem::path knownHosts() {
    static const std::filesystem::path home = [] {
        const auto path = std::filesystem::temp_directory_path() / "kavri-known-hosts-fuzz";
        std::filesystem::create_directories(path / ".ssh");
        setenv("HOME", path.c_str(), 1);
        return path;
    }();
    return home / ".ssh" / "known_hosts";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string revoked = "\n@revoked * ssh-ed25519 " + std::string(keyBase64) + "\n";
    const std::string files[] = {text, text + revoked, revoked + text};
    for (std::size_t i = 0; i < std::size(files); ++i) {
        std::ofstream(knownHosts(), std::ios::binary | std::ios::trunc) << files[i];
        const auto verdict = SshFiles::checkHostKey("127.0.0.1", 2222, keyBlob());
        if (i > 0 && verdict != SshFiles::HostKey::Revoked) {
            std::abort();
        }
    }
    return 0;
}
