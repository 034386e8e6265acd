#pragma once

#include <optional>
#include <string>

#include <sys/socket.h>

// An address a server of the program listens on, parsed once from the numeric form the
// user typed (IPv4 or IPv6): the socket address and whether it is one of this machine's
// loopback addresses (127.0.0.0/8, ::1), which nobody else can reach.
struct ListenAddress {
    sockaddr_storage socket{};
    bool ipv6 = false;
    bool loopback = false;

    // None when the text is no IP address (a host name, say).
    static std::optional<ListenAddress> parse(const std::string& text, unsigned port);
};
