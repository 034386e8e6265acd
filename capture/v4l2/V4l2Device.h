#pragma once

#include "base/Surface.h"

#include <linux/videodev2.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The calls a V4L2 camera needs of the system, so that the camera logic can run against a
// fake device: requests (VIDIOC_...), mapping the frame buffers, waiting for a frame, and
// turning frames of the camera's own pixel format into 24-bit ones (a FrameConverter does
// that for both the real device and the fake).
class V4l2Device {
public:
    // One frame buffer of the device mapped into memory; unmapped when destroyed.
    class Mapping {
    public:
        virtual ~Mapping() = default;
        virtual const std::uint8_t* data() const = 0;
        virtual std::size_t size() const = 0;
    };

    virtual ~V4l2Device() = default;

    // Makes a request with its argument record; 0, or the errno value of the failure.
    virtual int request(unsigned long code, void* argument) = 0;

    // Maps length bytes of the device's buffer memory at offset; null when that fails.
    virtual std::unique_ptr<Mapping> map(std::size_t length, std::uint32_t offset) = 0;

    // Waits until a frame can be dequeued (or the device reports an error, which the next
    // request then returns): 0. Otherwise ETIMEDOUT after timeout, ECANCELED when wake()
    // was called, EINTR when a signal came, or the errno value of a failure.
    virtual int waitForFrame(std::chrono::milliseconds timeout) = 0;

    // Ends a waitForFrame in progress, or the next one; may be called from any thread.
    virtual void wake() = 0;

    // See FrameConverter::convert; the stream's own thread calls it.
    virtual bool convert(const v4l2_pix_format& format, const std::uint8_t* data, std::size_t size,
                         int reduction, std::optional<Surface>& frame) = 0;

    // See FrameConverter::libraryFormat.
    virtual std::optional<v4l2_pix_format> libraryFormat(std::uint32_t width,
                                                         std::uint32_t height) = 0;
};

// Opens the video node at a path; null when it cannot be opened.
using V4l2Opener = std::function<std::unique_ptr<V4l2Device>(const std::string& path)>;

// A video node of the machine (/dev/video3) and the stable name udev gives it under
// /dev/v4l/by-id, which stays the same when the camera comes back on another node; empty
// when it has none.
struct V4l2Node {
    std::string path;
    std::string stableName;
};

// The video nodes there are now, in the order of their numbers.
using V4l2NodeLister = std::function<std::vector<V4l2Node>()>;
