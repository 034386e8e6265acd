#pragma once

#include "base/HealthLine.h"
#include "capture/CameraOutlets.h"
#include "capture/FrameListener.h"
#include "live/LiveFrames.h"
#include "live/LiveServer.h"
#include "live/LiveSource.h"

#include <string>

// The live view as the program runs it: the web server, started and stopped with the
// liveview settings, and what it shows: the JPEG file after each grab, the health lines,
// and the camera's frames, which it listens to (while someone watches the stream). Whether
// the server could listen goes to the health journal as the part "live view".
class LiveView : public FrameListener {
public:
    static constexpr const char* healthSubject = "live view";

    LiveView();

    // Starts, restarts or stops the server after the settings.
    void applySettings();
    // Reads the JPEG file just written, to serve its bytes from memory.
    void grabbed(const std::string& jpegFile);
    // A health line's sink that writes the line and keeps the part's state for /status.
    HealthLine::Sink tell(LiveSource::Part part, HealthWords words);
    // The cameras' health line and frames, for the live view.
    CameraOutlets cameraOutlets();
    // The port the server listens on; 0 while stopped.
    unsigned port() const { return server_.port(); }
    // How the live view is doing, for the tool-tip and the Status window: where it listens,
    // or why it cannot; none while it is off.
    std::optional<std::string> statusLine() const;

    bool wantsFrames() const override { return frames_.viewers() > 0; }
    void jpegFrame(const std::uint8_t* data, std::size_t size) override {
        frames_.pushJpeg(data, size);
    }
    void pixelFrame(const Surface& frame) override { frames_.pushPixels(frame); }
    void cameraLost(bool lost) override { frames_.setCameraLost(lost); }

private:
    LiveSource source_;
    LiveFrames frames_;
    LiveServer server_;
    // What the running server was started with; restarting drops its viewers.
    std::optional<LiveServer::Config> running_;
    // The server's last line, without the program's name.
    std::string said_;
};
