#include "ftp/SshFiles.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <string_view>
#include <unistd.h>

namespace {

const char* const systemKnownHosts = "/etc/ssh/ssh_known_hosts";
const char* const blanks = " \t";

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char byte) { return static_cast<char>(std::tolower(byte)); });
    return text;
}

// Standard base64, '=' padding optional; nothing when the text is not base64.
std::optional<std::string> decodeBase64(std::string_view text) {
    static const std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    while (!text.empty() && text.back() == '=') {
        text.remove_suffix(1);
    }
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char digit : text) {
        const auto value = alphabet.find(digit);
        if (value == std::string_view::npos) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return bytes;
}

// ssh's patterns: '*' stands for any run of characters, '?' for any one.
bool matchesPattern(std::string_view text, std::string_view pattern) {
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starAt = std::string_view::npos;
    std::size_t resumeAt = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = t;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            t = ++resumeAt;
        } else {
            return false;
        }
    }
    return pattern.find_first_not_of('*', p) == std::string_view::npos;
}

// A comma-separated list of patterns names the host when one of them matches and no negated
// one ("!pattern") does.
bool listNames(const std::string& list, const std::string& name) {
    bool named = false;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(',', start), list.size());
        std::string_view pattern(list.data() + start, end - start);
        const bool negated = !pattern.empty() && pattern.front() == '!';
        if (negated) {
            pattern.remove_prefix(1);
        }
        if (matchesPattern(name, lowered(std::string(pattern)))) {
            if (negated) {
                return false;
            }
            named = true;
        }
        start = end + 1;
    }
    return named;
}

// "|1|salt|hash": the name hashed with HMAC-SHA1 under the salt, as HashKnownHosts writes it.
bool hashNames(const std::string& field, const std::string& name) {
    const std::size_t bar = field.find('|', 3);
    if (field.rfind("|1|", 0) != 0 || bar == std::string::npos) {
        return false;
    }
    const auto salt = decodeBase64(std::string_view(field).substr(3, bar - 3));
    const auto hash = decodeBase64(std::string_view(field).substr(bar + 1));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!salt || !hash || salt->size() != 20 ||
        HMAC(EVP_sha1(), salt->data(), static_cast<int>(salt->size()),
             reinterpret_cast<const unsigned char*>(name.data()), name.size(), digest,
             &length) == nullptr) {
        return false;
    }
    return *hash == std::string(reinterpret_cast<const char*>(digest), length);
}

enum class Marker { None, CertAuthority, Revoked };

struct Entry {
    Marker marker;
    // The key type as the line names it, and the key blob.
    std::string type;
    std::string blob;
};

// Reads the next blank-separated field of a line.
std::string field(const std::string& line, std::size_t& at) {
    const std::size_t start = std::min(line.find_first_not_of(blanks, at), line.size());
    at = std::min(line.find_first_of(blanks, start), line.size());
    return line.substr(start, at - start);
}

// The entry of one line of a known_hosts file when it names the server; comments, lines
// with a marker ssh does not know and keys it cannot read are passed over, as ssh does.
std::optional<Entry> entryFor(const std::string& line, const std::string& name) {
    std::size_t at = 0;
    std::string hosts = field(line, at);
    Entry entry{Marker::None, {}, {}};
    if (hosts.empty() || hosts.front() == '#') {
        return std::nullopt;
    }
    if (hosts.front() == '@') {
        if (hosts != "@cert-authority" && hosts != "@revoked") {
            return std::nullopt;
        }
        entry.marker = hosts == "@revoked" ? Marker::Revoked : Marker::CertAuthority;
        hosts = field(line, at);
    }
    const bool named =
        !hosts.empty() && (hosts.front() == '|' ? hashNames(hosts, name) : listNames(hosts, name));
    entry.type = field(line, at);
    const auto blob = decodeBase64(field(line, at));
    // The blob starts with its type's name, which must be the one written before it.
    if (!named || !blob || blob->size() < 4 + entry.type.size() ||
        blob->compare(4, entry.type.size(), entry.type) != 0) {
        return std::nullopt;
    }
    entry.blob = *blob;
    return entry;
}

// The lines of both files that name the server: the user's first, as ssh reads them.
std::vector<Entry> entriesFor(const std::string& name) {
    std::vector<Entry> entries;
    for (const std::string& path :
         {SshFiles::userFile("known_hosts"), std::string(systemKnownHosts)}) {
        std::ifstream file(path);
        for (std::string line; std::getline(file, line);) {
            if (auto entry = entryFor(line, name)) {
                entries.push_back(std::move(*entry));
            }
        }
    }
    return entries;
}

SshFiles::HostKey verdictFor(const std::string& name, const std::string& keyBlob) {
    auto verdict = SshFiles::HostKey::Unknown;
    const auto entries = entriesFor(name);
    for (const Entry& entry : entries) {
        if (entry.marker == Marker::Revoked && entry.blob == keyBlob) {
            return SshFiles::HostKey::Revoked;
        }
        if (entry.marker == Marker::None && verdict != SshFiles::HostKey::Known) {
            verdict = entry.blob == keyBlob ? SshFiles::HostKey::Known : SshFiles::HostKey::Changed;
        }
    }
    return verdict;
}

// As ssh writes the server in the files: a port other than 22 is part of the name.
std::string nameWithPort(const std::string& host, std::uint16_t port) {
    return port == 22 ? host : "[" + host + "]:" + std::to_string(port);
}

} // namespace

SshFiles::HostKey SshFiles::checkHostKey(const std::string& host, std::uint16_t port,
                                         const std::string& keyBlob) {
    const std::string name = lowered(host);
    const HostKey verdict = verdictFor(nameWithPort(name, port), keyBlob);
    if (verdict != HostKey::Unknown || port == 22) {
        return verdict;
    }
    // Only a key that the host's name alone trusts or revokes counts; another key recorded
    // there leaves the server unknown.
    const HostKey withoutPort = verdictFor(name, keyBlob);
    return withoutPort == HostKey::Changed ? HostKey::Unknown : withoutPort;
}

std::vector<std::string> SshFiles::recordedKeyTypes(const std::string& host, std::uint16_t port) {
    std::vector<std::string> types;
    for (const Entry& entry : entriesFor(nameWithPort(lowered(host), port))) {
        if (entry.marker == Marker::None &&
            std::find(types.begin(), types.end(), entry.type) == types.end()) {
            types.push_back(entry.type);
        }
    }
    return types;
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
