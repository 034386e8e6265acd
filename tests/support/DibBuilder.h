#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Makes the bytes of a DIB file of any variant: bit depth, with or without the 14-byte file
// header, 40-byte info or 12-byte core header, colour table, bit-field masks, a gap before
// the pixel rows, top-down rows. Pixels are set as raw values: a colour-table index for 1, 4
// and 8 bits, the packed 16- or 32-bit value, 0xRRGGBB for 24 bits. Rows of bit counts that
// no image uses (0, 7, 64, ...) hold only padding bytes.
//
//   DibBuilder dib(5, 3, 8);
//   dib.palette = {0x000000, 0xFF0000};
//   dib.setPixel(0, 0, 1);
//   dib.writeTo(path);
class DibBuilder {
public:
    // A height below 0 makes a top-down bitmap (info header only).
    DibBuilder(int width, int height, std::uint16_t bitCount);

    // Raw pixel value at column x, row y counted from the top of the picture.
    void setPixel(int x, int y, std::uint32_t value);
    // Sets every pixel to value(x, y).
    template <typename Function> void fill(Function value) {
        for (int y = 0; y < rows(); ++y) {
            for (int x = 0; x < width_; ++x) {
                setPixel(x, y, value(x, y));
            }
        }
    }

    int width() const { return width_; }
    int height() const { return height_; }
    int rows() const { return height_ < 0 ? -height_ : height_; }
    // Bytes of one stored row, padded to 4.
    std::size_t stride() const;
    // Bytes of all pixel rows.
    std::size_t imageBytes() const { return stride() * static_cast<std::size_t>(rows()); }
    // Offset of the pixel rows in the file.
    std::size_t pixelOffset() const;

    std::vector<std::uint8_t> bytes() const;
    // Writes bytes() to the file, replacing it.
    void writeTo(const std::string& path) const;
    // Writes the given bytes to the file, replacing it.
    static void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

    // Stride and pixel packing follow bitCount as it is when bytes() runs.
    std::uint16_t bitCount;
    std::uint16_t planes = 1;
    std::uint32_t compression = 0;
    bool fileHeader = true;
    bool coreHeader = false;
    // Colour-table entries as 0xRRGGBB, written as 4- or 3-byte entries.
    std::vector<std::uint32_t> palette;
    // Red, green and blue masks written after an info header.
    std::optional<std::array<std::uint32_t, 3>> masks;
    // biClrUsed; by default the palette's size.
    std::optional<std::uint32_t> clrUsed;
    // biSizeImage; by default imageBytes().
    std::optional<std::uint32_t> sizeImage;
    // Width and height written instead of the real ones (the pixel rows stay as they are).
    std::optional<std::int32_t> widthField;
    std::optional<std::int32_t> heightField;
    // Header size field written instead of 40 or 12 (the header's bytes stay as they are).
    std::optional<std::uint32_t> headerSizeField;
    // Bytes of gapByte between the colour table and the pixel rows; bfOffBits counts them.
    std::size_t gapBytes = 0;
    std::uint8_t gapByte = 0xEE;
    // bfOffBits; by default pixelOffset().
    std::optional<std::uint32_t> offBits;
    // Value of the padding bytes at the end of each row.
    std::uint8_t paddingByte = 0xCD;

private:
    int width_;
    int height_;
    std::vector<std::uint32_t> pixels_;
};
