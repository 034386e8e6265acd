#pragma once

#include "base/Surface.h"
#include "capture/v4l2/V4l2Device.h"
#include "image/MjpegDecoder.h"

#include <linux/videodev2.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct v4lconvert_data;

// Turns the frames a V4L2 camera delivers in its own pixel format into 24-bit surfaces:
// JPEG (MJPEG) with libjpeg-turbo, 24-bit BGR by copying its rows, every other format with
// libv4lconvert, which also applies what libv4l knows of some cameras (sensors mounted
// upside down). A frame wanted smaller is made smaller on the way where that is cheap: in
// the JPEG decoder, and for the packed 4:2:2 formats (YUYV and its kin) by converting every
// second, fourth or eighth pixel and row only; other formats come at full size. One
// converter serves one device, from one thread at a time.
class FrameConverter {
public:
    // device answers libv4lconvert's requests; fd is the device's file descriptor, by which
    // libv4l finds the camera in its list of quirks (-1 for none).
    FrameConverter(V4l2Device& device, int fd);
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // Converts one frame of format (the device's own, as VIDIOC_S_FMT answered), size bytes
    // at data, into frame, reduced by reduction (1, 2, 4 or 8) in each direction where the
    // format allows it; frame's memory is reused when it has the resulting size already.
    // False when the frame is damaged or short; frame then holds no usable picture.
    bool convert(const v4l2_pix_format& format, const std::uint8_t* data, std::size_t size,
                 int reduction, std::optional<Surface>& frame);

    // The device's own format from which libv4lconvert makes 24-bit frames of width x
    // height, or of the size closest to it (the format's size is the frames' size);
    // nothing when it can make none.
    std::optional<v4l2_pix_format> libraryFormat(std::uint32_t width, std::uint32_t height);

private:
    struct LibraryDeleter {
        void operator()(v4lconvert_data* library) const;
    };

    v4lconvert_data* library();
    bool convertInLibrary(const v4l2_pix_format& format, const std::uint8_t* data, std::size_t size,
                          std::optional<Surface>& frame);

    V4l2Device& device_;
    const int fd_;
    MjpegDecoder jpeg_;
    std::unique_ptr<v4lconvert_data, LibraryDeleter> converter_;
    bool libraryTried_ = false;
    // A 4:2:2 frame with only the pixels that are kept, and libv4lconvert's output (rows
    // top first, unpadded) before it becomes a surface.
    std::vector<std::uint8_t> reduced_;
    std::vector<std::uint8_t> converted_;
};
