#pragma once

#include "capture/CaptureDriver.h"
#include "capture/v4l2/V4l2Device.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// A V4L2 camera in memory, answering the requests the camera logic and libv4lconvert make.
// Frames pushed by the test fill the queued buffers in order; its devices convert them with
// the real FrameConverter. All devices opened through opener() share this state, which is
// read and written under lock().
class FakeV4l2Camera : public std::enable_shared_from_this<FakeV4l2Camera> {
public:
    struct Control {
        v4l2_queryctrl query;
        std::int32_t value;
        // A menu control's entry names by index; an empty one is refused.
        std::vector<std::string> menu = {};
    };
    // A control from 0 to 255, by default at 128: id, type, name, minimum, maximum, step,
    // default, flags.
    static Control control(std::uint32_t id, std::int32_t value,
                           std::uint32_t type = V4L2_CTRL_TYPE_INTEGER, std::uint32_t flags = 0) {
        return {{id, type, {}, 0, 255, 1, 128, flags, {}}, value};
    }
    struct Format {
        std::uint32_t pixelFormat;
        std::vector<FrameSize> sizes;
    };
    using Bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

    static std::shared_ptr<FakeV4l2Camera> create(const char* card = "", const char* bus = "");
    V4l2Opener opener();
    // A buffer that held the same bytes before is not written again, as a camera's DMA
    // costs the program nothing either.
    void push(Bytes bytes, std::uint32_t flags = 0);
    // Pulled out: every request fails with ENODEV.
    void unplug() { (lock(), unplugged = true, changed.notify_all()); }
    // Back as a camera that lost its power: older devices stay dead, and it is at its first
    // format and size, default frame interval and controls, without buffers or frames.
    void plugIn();
    // Until every frame pushed has been dequeued and its buffer queued again.
    bool waitUntilHandled(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    std::unique_lock<std::mutex> lock() { return std::unique_lock(mutex); }

    v4l2_capability capability{};
    // S_FMT answers with the first for a format it lacks.
    std::vector<Format> formats = {{V4L2_PIX_FMT_BGR24, {}}};
    std::uint32_t rowPadding = 0; // at the end of every row of an uncompressed format
    std::uint32_t pixelFormat = V4L2_PIX_FMT_BGR24;
    std::uint32_t width = 320;
    std::uint32_t height = 240;
    std::vector<Control> controls;
    v4l2_fract frameInterval{1, 30};
    int liveMappings = 0;
    int openDevices = 0;
    // Frames its devices converted for the program, for a grab or a preview.
    int conversions = 0;

private:
    class Device;

    FakeV4l2Camera() = default;
    int request(unsigned long code, void* argument);
    // Streaming, with a frame pending and a buffer queued for it.
    bool frameReady() const {
        return streaming && !pending.empty() && std::ranges::find(queued, true) != queued.end();
    }
    v4l2_pix_format answer(std::uint32_t asked, std::uint32_t askedWidth,
                           std::uint32_t askedHeight) const;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<Bytes, std::uint32_t>> pending;
    bool streaming = false;
    std::vector<bool> queued;
    std::vector<std::vector<std::uint8_t>> memory;
    std::vector<Bytes> memoryHolds;
    bool unplugged = false;
    std::uint64_t generation = 0; // plugged in again; a device opened before is dead
    std::uint64_t wakes = 0;
};
