#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Makes a DIB file of any bit depth, with or without the 14-byte file header, with an info
// header, colour table, bit-field masks, top-down rows. Pixels
// are raw values: a colour-table index for 1, 4 and 8 bits, the packed 16- or 32-bit value,
// 0xRRGGBB for 24 bits.
class DibBuilder {
public:
    // A height below 0 makes a top-down bitmap.
    DibBuilder(int width, int height, std::uint16_t bitCount);

    // Sets every pixel to value(x, y), y counted from the top of the picture.
    template <typename Function> void fill(Function value) {
        for (int y = 0; y < rows_; ++y) {
            for (int x = 0; x < width_; ++x) {
                pixels_[static_cast<std::size_t>(y * width_ + x)] = value(x, y);
            }
        }
    }

    std::vector<std::uint8_t> bytes() const;
    void writeTo(const std::string& path) const;

    std::uint16_t bitCount;
    std::uint32_t compression = 0;
    bool fileHeader = true;
    // Colour-table entries as 0xRRGGBB.
    std::vector<std::uint32_t> palette;
    // Red, green and blue masks written after an info header.
    std::optional<std::array<std::uint32_t, 3>> masks;

private:
    int width_;
    int height_;
    int rows_;
    std::vector<std::uint32_t> pixels_;
};
