#include "tests/support/CameraFrames.h"

#include "image/JpegWriter.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

#include <linux/videodev2.h>

#include <algorithm>

namespace {

std::uint8_t clamped(double value) {
    return static_cast<std::uint8_t>(std::clamp(value + 0.5, 0.0, 255.0));
}

} // namespace

std::string CameraFrames::withoutHuffmanTables(std::string jpeg) {
    const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(jpeg[at]); };
    for (std::size_t at = 2; at + 4 < jpeg.size() && byte(at + 1) != 0xDA;) {
        const std::size_t length = 2 + (byte(at + 2) << 8 | byte(at + 3));
        byte(at + 1) == 0xC4 ? (void)jpeg.erase(at, length) : (void)(at += length);
    }
    return jpeg;
}

std::vector<std::uint8_t> CameraFrames::make(std::uint32_t pixelFormat, const Surface& picture,
                                             std::uint32_t rowPadding) {
    std::vector<std::uint8_t> bytes;
    if (pixelFormat == V4L2_PIX_FMT_MJPEG) {
        TempDir dir;
        JpegWriter().write(picture.bits(), picture.width(), picture.height(), dir.file("f.jpg"));
        const std::string bare = withoutHuffmanTables(readBytes(dir.file("f.jpg")));
        return {bare.begin(), bare.end()};
    }
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.rowFromTop(y);
        for (int x = 0; pixelFormat == V4L2_PIX_FMT_BGR24 && x < picture.width() * 3; ++x) {
            bytes.push_back(row[x]);
        }
        // YUYV with the JPEG (full range BT.601) coefficients; a pair shares its colour.
        for (int x = 0; pixelFormat == V4L2_PIX_FMT_YUYV && x + 1 < picture.width(); x += 2) {
            double u = 128;
            double v = 128;
            std::uint8_t luma[2];
            for (int i = 0; i < 2; ++i) {
                const double b = row[3 * (x + i)], g = row[3 * (x + i) + 1],
                             r = row[3 * (x + i) + 2];
                luma[i] = clamped(0.299 * r + 0.587 * g + 0.114 * b);
                u += (-0.168736 * r - 0.331264 * g + 0.5 * b) / 2;
                v += (0.5 * r - 0.418688 * g - 0.081312 * b) / 2;
            }
            bytes.insert(bytes.end(), {luma[0], clamped(u), luma[1], clamped(v)});
        }
        bytes.insert(bytes.end(), rowPadding, 0xEE);
    }
    return bytes;
}
