#pragma once

#include "base/Surface.h"
#include "image/JpegErrorTrap.h"

#include <cstddef>
#include <cstdint>
#include <optional>

#include <jpeglib.h>

// Decodes the frames of a camera that streams JPEG pictures (MJPEG) into 24-bit surfaces,
// whole or scaled down by 2, 4 or 8 inside the decoder (libjpeg-turbo's DCT scaling), which
// costs a fraction of a full decode. The Huffman tables that most cameras leave out of
// their frames are the standard ones, which libjpeg-turbo supplies by itself. A damaged
// frame (cut short, corrupt) fails: any error or warning of the library counts, nothing is
// printed, and the caller must not use the picture.
class MjpegDecoder {
public:
    MjpegDecoder();
    ~MjpegDecoder();
    MjpegDecoder(const MjpegDecoder&) = delete;
    MjpegDecoder& operator=(const MjpegDecoder&) = delete;

    // Decodes the JPEG picture in data, which must be width x height pixels, at
    // 1/scaleDenominator (1, 2, 4 or 8) of that size into frame, reusing frame's memory when
    // it has that size already. False when the data is damaged or of another size.
    bool decode(const std::uint8_t* data, std::size_t size, int width, int height,
                int scaleDenominator, std::optional<Surface>& frame);

private:
    JpegErrorTrap trap_{JpegErrorTrap::Warnings::Fail, JpegErrorTrap::Messages::Silent};
    jpeg_decompress_struct decompressor_;
    bool created_;
};
