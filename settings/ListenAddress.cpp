#include "settings/ListenAddress.h"

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>

std::optional<ListenAddress> ListenAddress::parse(const std::string& text, unsigned port) {
    ListenAddress address;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.socket);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.socket);
    if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        address.loopback = (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    } else if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        address.ipv6 = true;
        address.loopback = IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr);
    } else {
        return std::nullopt;
    }
    return address;
}
