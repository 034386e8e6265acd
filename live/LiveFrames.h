#pragma once

#include "live/FrameEncoder.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class Surface;

// The frames of the live stream: the camera side hands each frame in, as MJPEG bytes or as
// pixels, and every viewer takes the newest one when it is ready for one, so a slow viewer
// skips frames instead of queueing them. Each frame is kept ready as one part of the
// multipart stream, shared by all viewers: pixels are encoded once per frame, and only
// while someone watches; MJPEG frames pass through undecoded, with the standard Huffman
// tables put in when the camera left them out. Safe to use from several threads.
class LiveFrames {
public:
    static constexpr const char* boundary = "kavriframe";

    struct Frame {
        // A whole part of the multipart stream: boundary, headers (with the time the
        // camera's frame arrived as X-Timestamp), JPEG bytes.
        std::shared_ptr<const std::string> part;
        std::uint64_t number = 0;
    };

    // A frame of an MJPEG camera; false when it is no JPEG picture.
    bool pushJpeg(const std::uint8_t* data, std::size_t size);
    // A frame of any other camera; encoded only while someone watches.
    void pushPixels(const Surface& picture);
    // While the camera is lost (and before the first frame) viewers get the "no camera"
    // picture once a second.
    void setCameraLost(bool lost);

    // Counts a viewer in when fewer than limit watch.
    bool addViewer(int limit);
    void removeViewer();
    int viewers() const { return viewers_.load(); }

    // The newest frame when it comes after the one numbered after.
    std::optional<Frame> newest(std::uint64_t after) const;
    // While there is no camera (also before its first frame) the "no camera" picture,
    // numbered after.
    std::optional<Frame> noCamera(std::uint64_t after) const;
    // Told after each new frame, on the thread that handed it in; an empty one stops it.
    void setListener(std::function<void()> listener);

    // The JPEG frame with the standard Huffman tables before its scan when it has none of
    // its own; none when data holds no JPEG picture.
    static std::optional<std::string> withHuffmanTables(const std::uint8_t* data, std::size_t size);

private:
    void publish(const std::string& jpeg, std::chrono::system_clock::time_point arrived);
    static std::shared_ptr<const std::string> noCameraPart();

    mutable std::mutex mutex_;
    Frame newest_;
    std::function<void()> listener_;
    bool cameraLost_ = false;
    std::atomic<int> viewers_{0};
    // Used by the thread that pushes pixels.
    FrameEncoder encoder_;
};
