// Feeds arbitrary bytes to the MJPEG frame decoder as a camera's frame: the frame size the
// camera announced (two little-endian 16-bit numbers), the reduction asked for (1, 2, 4 or
// 8 by the low two bits of one byte), then the frame. One decoder and one surface serve
// every input, as they serve every frame of a stream.
#include "image/MjpegDecoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MjpegDecoder decoder;
    static std::optional<Surface> frame;
    if (size < 5) {
        return 0;
    }
    const int width = data[0] | data[1] << 8;
    const int height = data[2] | data[3] << 8;
    const int reduction = 1 << (data[4] & 3);
    // A decoded frame is the size asked for, reduced with rounding up.
    if (decoder.decode(data + 5, size - 5, width, height, reduction, frame) &&
        (frame->width() != (width + reduction - 1) / reduction ||
         frame->height() != (height + reduction - 1) / reduction)) {
        std::abort();
    }
    return 0;
}
