#pragma once

#include <functional>
#include <memory>
#include <string>

class LiveFrames;
class LiveSource;

// The live view's small web server (Boost.Beast, all connections on one thread of its own):
//   GET /           a page with the stream, the newest grab and the health of the parts
//   GET /image.jpg  the newest grab, the JPEG file's bytes from memory
//   GET /stream     the camera as an MJPEG stream (multipart/x-mixed-replace)
//   GET /status     the health of the camera, the JPEG file and the upload as JSON
// and HEAD of each; nothing else. It listens on the loopback address unless told another,
// and then only with a user name and a password (HTTP Basic), over TLS when a certificate
// and its key are given. Viewers, connections, request sizes and the time for a request are
// bounded; a failed login waits a second before its answer. Each viewer of the stream is
// sent the newest frame whenever it has taken the one before, so a slow one skips frames.
class LiveServer {
public:
    struct Config {
        std::string address = "127.0.0.1";
        // 0 takes a free port (see port()).
        unsigned port = 8080;
        std::string user;
        std::string password;
        // PEM files; TLS when both are given.
        std::string certFile;
        std::string keyFile;
        int viewers = 10;

        // The liveview element of the settings.
        static Config fromSettings();
    };

    // Gets the line that tells where the server listens or why it cannot, without its line
    // end; the default writes it to standard error (HealthLine::writeLine).
    using Sink = std::function<void(const std::string& line)>;

    LiveServer(LiveSource& source, LiveFrames& frames, Sink sink = {});
    ~LiveServer();
    LiveServer(const LiveServer&) = delete;
    LiveServer& operator=(const LiveServer&) = delete;

    // Stops a running server and listens as configured; false (and a line saying why) when
    // it cannot.
    bool start(const Config& config);
    // Ends every connection, the streams too, and stops listening.
    void stop();
    bool running() const;
    // The port it listens on; 0 while stopped.
    unsigned port() const;
    // Where it listens, as a browser is given it ("http://127.0.0.1:8080/"); empty while
    // stopped.
    std::string url() const;
    // Where it could not listen and why ("127.0.0.1:8080: Address already in use"), when the
    // last start failed; empty otherwise.
    const std::string& refusal() const;

private:
    struct Running;

    LiveSource& source_;
    LiveFrames& frames_;
    const Sink sink_;
    std::unique_ptr<Running> running_;
    std::string url_;
    std::string refusal_;
};
