#pragma once

#include "base/HealthLine.h"
#include "live/LiveFrames.h"
#include "live/LiveServer.h"
#include "live/LiveSource.h"

#include <string>

// The live view as the program runs it: the web server, started and stopped with the
// liveview settings, what it shows (the JPEG file after each grab, the health lines) and
// the frames a camera may hand it.
class LiveView {
public:
    LiveView();

    // Starts, restarts or stops the server after the settings.
    void applySettings();
    // Reads the JPEG file just written, to serve its bytes from memory.
    void grabbed(const std::string& jpegFile);
    // A health line's sink that writes the line and keeps the part's state for /status.
    HealthLine::Sink tell(LiveSource::Part part, HealthWords words);

private:
    LiveSource source_;
    LiveFrames frames_;
    LiveServer server_;
    // What the running server was started with; restarting drops its viewers.
    std::optional<LiveServer::Config> running_;
};
