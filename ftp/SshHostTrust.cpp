#include "ftp/SshHostTrust.h"

#include "ftp/SshFiles.h"

#include <curl/curl.h>

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The key types ssh asks for, in its order, as far as the SSH library can be asked for them
// one at a time; an RSA key is asked for by its original algorithm.
const char* const sshKeyTypes[] = {"ssh-ed25519", "ecdsa-sha2-nistp256", "ecdsa-sha2-nistp384",
                                   "ecdsa-sha2-nistp521", "ssh-rsa"};
// The types ssh asks for when none is recorded; RSA comes among the rest, "" below.
constexpr std::size_t unrecordedTypes = 4;

// The reason the server's key was refused, with what to do about it.
std::string advice(SshFiles::HostKey verdict, const std::string& host, std::uint16_t port) {
    if (verdict == SshFiles::HostKey::Revoked) {
        return "the server's host key is REVOKED: a known_hosts file marks it @revoked, and it "
               "is refused whatever else the files say; do not record it again, but ask the "
               "server's administrator for the server's new key";
    }
    const std::string record = "ssh-keyscan -p " + std::to_string(port) + " " + host + " >> " +
                               SshFiles::userFile("known_hosts");
    if (verdict == SshFiles::HostKey::Changed) {
        return "the server's host key has CHANGED from the one in the known_hosts file; "
               "if the server really has a new key, remove the old one (ssh-keygen -R " +
               (port == 22 ? host : "'[" + host + "]:" + std::to_string(port) + "'") +
               ") and record the new one: " + record;
    }
    return "the server's host key is not in ~/.ssh/known_hosts or /etc/ssh/ssh_known_hosts; "
           "after checking it, record it: " +
           record;
}

int checkKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch, void* trust) {
    const std::string blob = found->len > 0 ? std::string(found->key, found->len) : std::string();
    return static_cast<SshHostTrust*>(trust)->trusts(blob) ? CURLKHSTAT_FINE : CURLKHSTAT_REJECT;
}

} // namespace

SshHostTrust::SshHostTrust(std::string host, std::uint16_t port)
    : host_(std::move(host))
    , port_(port)
    , file_(memfd_create("known_hosts", MFD_CLOEXEC))
    // Without a file of its own the library asks for every type it knows, and the key is
    // still checked here.
    , filePath_(file_.isOpen() ? "/proc/self/fd/" + std::to_string(file_.get()) : "/dev/null") {
    const auto recorded = SshFiles::recordedKeyTypes(host_, port_);
    for (const char* type : sshKeyTypes) {
        if (std::find(recorded.begin(), recorded.end(), type) != recorded.end()) {
            types_.emplace_back(type);
        }
    }
    for (std::size_t i = 0; i < unrecordedTypes; ++i) {
        if (std::find(types_.begin(), types_.end(), sshKeyTypes[i]) == types_.end()) {
            types_.emplace_back(sshKeyTypes[i]);
        }
    }
    types_.emplace_back();
}

void SshHostTrust::setUp(void* easy) {
    curl_easy_setopt(easy, CURLOPT_SSH_KNOWNHOSTS, filePath_.c_str());
    curl_easy_setopt(easy, CURLOPT_SSH_KEYFUNCTION, &checkKey);
    curl_easy_setopt(easy, CURLOPT_SSH_KEYDATA, this);
    askFor(types_[next_++]);
}

bool SshHostTrust::askNextKeyType(int result) {
    // The library reports a server that ends the connection during the key exchange as a
    // session that could not be set up.
    if (keySeen_ || result != CURLE_FAILED_INIT || next_ >= types_.size() || !file_.isOpen()) {
        return false;
    }
    askFor(types_[next_++]);
    return true;
}

bool SshHostTrust::trusts(const std::string& keyBlob) {
    keySeen_ = true;
    const auto verdict = SshFiles::checkHostKey(host_, port_, keyBlob);
    problem_ = verdict == SshFiles::HostKey::Known ? "" : advice(verdict, host_, port_);
    return problem_.empty();
}

void SshHostTrust::askFor(const std::string& type) {
    // The library asks for the type of the first line that names the server as it is
    // written in the URL; the key on that line is never used, the check being trusts().
    const std::string line =
        type.empty() ? "" : "[" + host_ + "]:" + std::to_string(port_) + " " + type + " AAAA\n";
    if (file_.isOpen() && ftruncate(file_.get(), 0) == 0 && lseek(file_.get(), 0, SEEK_SET) == 0) {
        file_.writeAll(line);
    }
}
