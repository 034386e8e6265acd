#pragma once

#include "live/LiveFrames.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdint>
#include <set>
#include <string>

class LiveSource;

// A connection of the live view's server, as the server sees it.
class LiveConnection {
public:
    virtual ~LiveConnection() = default;
    // Ends the connection; its pending work ends with an error.
    virtual void close() = 0;
};

// What the connections of a running live server share. Used on the server's thread only.
struct LiveHub {
    LiveHub(boost::asio::io_context& io, LiveSource& source, LiveFrames& frames)
        : source(source)
        , frames(frames)
        , frameArrived(io, boost::asio::steady_timer::time_point::max()) {}

    LiveSource& source;
    LiveFrames& frames;
    // The login, when one is needed.
    std::string user;
    std::string password;
    int viewers = 1;
    // Never expires: viewers waiting for a frame wait on it, and a new frame (or the tick
    // of the "no camera" picture) cancels it, which wakes them.
    boost::asio::steady_timer frameArrived;
    // Counts the ticks of the "no camera" picture, one a second.
    std::uint64_t ticks = 0;
    std::set<LiveConnection*> connections;
    bool stopping = false;
};
