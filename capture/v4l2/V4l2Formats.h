#pragma once

#include "capture/CaptureDialogs.h"
#include "capture/v4l2/V4l2Device.h"

#include <linux/videodev2.h>

#include <cstdint>
#include <optional>
#include <vector>

// The camera's own pixel formats with the sizes it delivers in each, as its device tells
// them, and the choice among them for a size asked for. The program prefers MJPEG (JPEG is
// the same to it), then YUYV, then whatever libv4lconvert can turn into 24-bit frames.
class V4l2Formats {
public:
    // One of the camera's own pixel formats with the sizes it delivers in it.
    struct OwnFormat {
        std::uint32_t pixelFormat;
        std::vector<FrameSize> sizes;
    };

    V4l2Formats() = default;
    // Asks device for its formats (not those libv4l emulates) and their sizes; a camera that
    // takes any size within a range offers the common sizes that fit it.
    explicit V4l2Formats(V4l2Device& device);

    // In order of preference.
    const std::vector<OwnFormat>& formats() const { return formats_; }
    // The sizes of all formats, each once, in that order.
    const std::vector<FrameSize>& sizes() const { return sizes_; }
    bool offers(FrameSize size) const;

    // The format to ask device for: MJPEG, then YUYV, at the size asked for; else what
    // libv4lconvert makes of that size; else MJPEG or YUYV at the size the camera makes of
    // the request; else libv4lconvert's nearest size. Nothing when there is none of these.
    std::optional<v4l2_pix_format> choose(FrameSize wanted, V4l2Device& device) const;

private:
    static std::vector<FrameSize> enumerateSizes(V4l2Device& device, std::uint32_t pixelFormat);

    std::vector<OwnFormat> formats_;
    std::vector<FrameSize> sizes_;
};
