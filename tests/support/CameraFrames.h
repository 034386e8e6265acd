#pragma once

#include "base/Surface.h"

#include <cstdint>
#include <string>
#include <vector>

// Frames as a camera delivers them, made from a picture: JPEG (MJPEG) by the program's own
// JPEG writer, as from a webcam without the Huffman tables; YUYV and 24-bit BGR with
// padding at the end of each row.
struct CameraFrames {
    static std::vector<std::uint8_t> make(std::uint32_t pixelFormat, const Surface& picture,
                                          std::uint32_t rowPadding = 0);
    // The JPEG picture with its DHT segments before the scan taken out.
    static std::string withoutHuffmanTables(std::string jpeg);
};
