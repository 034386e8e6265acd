#include "tests/capture/CameraFrames.h"

#include "image/JpegWriter.h"
#include "tests/support/TempDir.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

std::vector<std::uint8_t> jpegOf(const Surface& picture) {
    TempDir dir;
    JpegWriter writer;
    writer.write(picture.bits(), picture.width(), picture.height(), dir.file("frame.jpg"));
    std::ifstream in(dir.file("frame.jpg"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The same JPEG without its DHT segments; everything from the start of scan on stays.
std::vector<std::uint8_t> withoutHuffmanTables(const std::vector<std::uint8_t>& jpeg) {
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
        const std::size_t length = 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
        if (jpeg[at + 1] != 0xC4) {
            out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                       jpeg.begin() + static_cast<std::ptrdiff_t>(at + length));
        }
        at += length;
    }
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
    return out;
}

std::uint8_t clamped(double value) {
    return static_cast<std::uint8_t>(std::clamp(value + 0.5, 0.0, 255.0));
}

} // namespace

std::vector<std::uint8_t> CameraFrames::make(std::uint32_t pixelFormat, const Surface& picture,
                                             std::uint32_t rowPadding, bool huffmanTables) {
    if (pixelFormat == V4L2_PIX_FMT_MJPEG) {
        const auto jpeg = jpegOf(picture);
        return huffmanTables ? jpeg : withoutHuffmanTables(jpeg);
    }
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.rowFromTop(y);
        if (pixelFormat == V4L2_PIX_FMT_BGR24) {
            bytes.insert(bytes.end(), row, row + picture.width() * 3);
        } else {
            // YUYV with the JPEG (full range BT.601) coefficients; a pair shares its colour.
            for (int x = 0; x + 1 < picture.width(); x += 2) {
                double u = 0;
                double v = 0;
                std::uint8_t luma[2];
                for (int i = 0; i < 2; ++i) {
                    const std::uint8_t* p = row + (x + i) * 3;
                    const double b = p[0], g = p[1], r = p[2];
                    luma[i] = clamped(0.299 * r + 0.587 * g + 0.114 * b);
                    u += (-0.168736 * r - 0.331264 * g + 0.5 * b) / 2;
                    v += (0.5 * r - 0.418688 * g - 0.081312 * b) / 2;
                }
                bytes.insert(bytes.end(), {luma[0], clamped(128 + u), luma[1], clamped(128 + v)});
            }
        }
        bytes.insert(bytes.end(), rowPadding, 0xEE);
    }
    return bytes;
}
