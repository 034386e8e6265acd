// Feeds arbitrary bytes to the MJPEG frame decoder as a camera's frame. The input starts
// with the frame size the camera would have announced (width and height, two bytes each,
// little-endian) and the reduction asked for (1, 2, 4 or 8 by the low two bits of one
// byte); the rest is the frame. One decoder and one surface serve every input, as they
// serve every frame of a stream.
#include "image/MjpegDecoder.h"

#include "platform/Surface.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t header = 5;
    if (size < header) {
        return 0;
    }
    static MjpegDecoder decoder;
    static std::optional<Surface> frame;
    const int width = data[0] | data[1] << 8;
    const int height = data[2] | data[3] << 8;
    const int reduction = 1 << (data[4] & 3);
    if (decoder.decode(data + header, size - header, width, height, reduction, frame)) {
        // A decoded frame is the size asked for, reduced with rounding up.
        if (!frame || frame->width() != (width + reduction - 1) / reduction ||
            frame->height() != (height + reduction - 1) / reduction) {
            std::abort();
        }
    }
    return 0;
}
