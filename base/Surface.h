#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A 24-bit drawing surface laid out like a bottom-up DIB section: 3 bytes per pixel in the
// order blue, green, red, rows padded to a multiple of 4 bytes, the bottom row first in
// memory. The frame is painted into it, the overlay draws on it, and the JPEG writer reads
// its rows as they are.
class Surface {
public:
    // The largest pixel buffer a surface may hold; an 8K frame fits.
    static constexpr std::size_t maxBytes = std::size_t{128} << 20;

    // A black surface, or nothing when a side is not positive or the buffer would exceed
    // maxBytes.
    static std::optional<Surface> create(int width, int height);
    // A surface over pixel rows that already sit in buffer from offset on (a packed DIB's
    // rows, say), taken over without copying; nothing when the sides are not valid as for
    // create() or the buffer is too short for them.
    static std::optional<Surface> adopt(int width, int height, std::vector<std::uint8_t> buffer,
                                        std::size_t offset);

    // Bytes per row: 3 * width rounded up to a multiple of 4.
    static std::size_t strideFor(int width) {
        return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    }

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t stride() const { return stride_; }

    // The first byte of the bottom row, where a DIB's pixel rows begin.
    std::uint8_t* bits() { return pixels_.data() + offset_; }
    const std::uint8_t* bits() const { return pixels_.data() + offset_; }

    // Row y counted from the top of the image (y = 0 is the top row).
    std::uint8_t* rowFromTop(int y) { return bits() + rowOffset(y); }
    const std::uint8_t* rowFromTop(int y) const { return bits() + rowOffset(y); }

private:
    Surface(int width, int height, std::vector<std::uint8_t> buffer, std::size_t offset);
    static bool fits(int width, int height);
    std::size_t rowOffset(int y) const {
        return static_cast<std::size_t>(height_ - 1 - y) * stride_;
    }

    int width_;
    int height_;
    std::size_t stride_;
    std::vector<std::uint8_t> pixels_;
    std::size_t offset_;
};
