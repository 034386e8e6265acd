#pragma once

#include "capture/CaptureDriver.h"
#include "capture/V4l2Device.h"

#include <linux/videodev2.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A V4L2 camera in memory, answering the requests the camera logic and libv4lconvert make:
// capabilities, formats and frame sizes, controls, frame interval, mmap buffers and
// streaming. Frames are pushed by the test as the camera would deliver them; they fill the
// queued buffers in order. Its devices convert frames with the real FrameConverter and
// count the conversions. Open it as many times as wanted through opener(); all devices
// opened share this state.
class FakeV4l2Camera : public std::enable_shared_from_this<FakeV4l2Camera> {
public:
    struct Control {
        v4l2_queryctrl query;
        std::int32_t value;
    };
    // A control from 0 to 255.
    static Control control(std::uint32_t id, std::int32_t value,
                           std::uint32_t type = V4L2_CTRL_TYPE_INTEGER, std::uint32_t flags = 0);
    // One of the camera's own pixel formats and the frame sizes it lists for it.
    struct Format {
        std::uint32_t pixelFormat;
        std::vector<v4l2_frmsizeenum> sizes;
    };
    static Format format(std::uint32_t pixelFormat, const std::vector<FrameSize>& sizes);
    using Bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

    // A camera that captures video by streaming.
    static std::shared_ptr<FakeV4l2Camera> create(const char* card = "", const char* bus = "");

    // Opens this camera whatever the path; the paths asked for are recorded.
    V4l2Opener opener();

    // A frame for the next queued buffer: bytes as the device delivers them. A buffer that
    // held the same bytes before is not written again, as a camera's DMA costs the
    // program nothing either.
    void push(Bytes bytes, std::uint32_t flags = 0);
    // Pulls the camera out: every request fails with ENODEV, waits report an error.
    void unplug();
    // Plugs it in again, as a camera that lost its power: the devices opened before stay
    // dead, and it is back at its first format and size, its default frame interval and
    // control values, without buffers or frames.
    void plugIn();
    // Waits until every frame pushed has been dequeued and its buffer queued again, that
    // is, handled; false when that takes longer than timeout.
    bool waitUntilHandled(std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // State, read and written under lock().
    std::unique_lock<std::mutex> lock() { return std::unique_lock(mutex); }

    // What the device is.
    v4l2_capability capability{};
    // The camera's formats; S_FMT answers with the first for a format it lacks.
    std::vector<Format> formats = {{V4L2_PIX_FMT_BGR24, {}}};
    // Padding bytes at the end of every row of an uncompressed format.
    std::uint32_t rowPadding = 0;
    // The format G_FMT reports before anything is set, and what S_FMT makes of a request.
    std::uint32_t pixelFormat = V4L2_PIX_FMT_BGR24;
    std::uint32_t width = 320;
    std::uint32_t height = 240;
    std::vector<Control> controls;
    v4l2_fract frameInterval{1, 30};

    // What happened.
    std::vector<std::string> openedPaths;
    int liveMappings = 0;
    int openDevices = 0;
    bool streaming = false;
    std::vector<bool> queued;
    std::size_t conversions = 0;

    std::size_t queuedCount() const;
    std::size_t pendingFrames() const { return pending.size(); }

private:
    class Device;
    struct Frame {
        Bytes bytes;
        std::uint32_t flags;
    };

    FakeV4l2Camera() = default;
    int request(unsigned long code, void* argument);
    // What S_FMT makes of a request, without setting it.
    v4l2_pix_format answer(std::uint32_t asked, std::uint32_t askedWidth,
                           std::uint32_t askedHeight) const;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Frame> pending;
    std::vector<std::vector<std::uint8_t>> memory;
    std::vector<Bytes> memoryHolds;
    bool unplugged = false;
    // Counts the times it was plugged in again; a device opened before is dead.
    std::uint64_t generation = 0;
    std::uint64_t wakes = 0;
};
