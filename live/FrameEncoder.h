#pragma once

#include "image/JpegErrorTrap.h"

#include <optional>
#include <string>

class Surface;

// Encodes a picture into JPEG bytes in memory with libjpeg-turbo's standard Huffman tables,
// for the live stream: one encoder per thread that encodes. Library errors fail the call
// and print nothing.
class FrameEncoder {
public:
    explicit FrameEncoder(int quality = 80);
    ~FrameEncoder();
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;

    std::optional<std::string> encode(const Surface& picture);

    // The DHT segments (markers included) of the standard tables that the encoder writes,
    // which the JPEG standard gives and which cameras streaming MJPEG leave out of their
    // frames.
    static const std::string& standardHuffmanSegments();

private:
    JpegErrorTrap trap{JpegErrorTrap::Warnings::Allowed, JpegErrorTrap::Messages::Silent};
    jpeg_compress_struct compressor;
    bool created;
    int quality_;
};
