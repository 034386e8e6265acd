// Feeds arbitrary host fields and ports to the address parser: it never crashes, and an
// address it accepts gives a URL with nothing in it that could carry a secret or lead the
// transfer library elsewhere (user information, a query, a fragment, blanks or control
// bytes). A violation aborts, so libFuzzer keeps it.
#include "net/ServerAddress.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint32_t port = 0;
    if (size >= sizeof port) {
        std::memcpy(&port, data, sizeof port);
        data += sizeof port;
        size -= sizeof port;
    }
    const std::string_view field(reinterpret_cast<const char*>(data), size);
    const ServerAddress address = ServerAddress::parse(field, port);
    if (!address.usable()) {
        if (address.refusal().empty()) {
            std::abort();
        }
        return 0;
    }
    const std::string url = address.baseUrl();
    const bool unsafe = std::ranges::any_of(url, [](unsigned char c) {
        return c <= ' ' || c == 127 || c == '@' || c == '?' || c == '#';
    });
    if (unsafe || address.host().empty() || address.port() == 0 || port > 65535) {
        std::abort();
    }
    return 0;
}
