#include "tests/support/DibBuilder.h"

#include <fstream>
#include <stdexcept>

DibBuilder::DibBuilder(int width, int height, std::uint16_t bitCount)
    : bitCount(bitCount)
    , width_(width)
    , height_(height)
    , rows_(height < 0 ? -height : height)
    , pixels_(static_cast<std::size_t>(width * rows_)) {}

std::vector<std::uint8_t> DibBuilder::bytes() const {
    std::vector<std::uint8_t> out;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    };
    const auto stride = static_cast<std::uint32_t>((bitCount * width_ + 31) / 32 * 4);
    const auto offset = static_cast<std::uint32_t>((fileHeader ? 14 : 0) + 40 + (masks ? 12 : 0) +
                                                   palette.size() * 4);
    if (fileHeader) {
        put('B' | 'M' << 8, 2);
        put(offset + stride * rows_, 4);
        put(0, 4);
        put(offset, 4);
    }
    // The info header: its size, the size, planes and bit count, the compression, the size of
    // the pixels, 72 dpi both ways, the colours used and those that matter.
    for (std::uint32_t field :
         {40u, static_cast<std::uint32_t>(width_), static_cast<std::uint32_t>(height_),
          1u | bitCount << 16, compression, stride * rows_, 2835u, 2835u,
          static_cast<std::uint32_t>(palette.size()), 0u}) {
        put(field, 4);
    }
    for (std::size_t i = 0; masks && i < masks->size(); ++i) {
        put((*masks)[i], 4);
    }
    for (std::uint32_t color : palette) {
        put(color, 4); // blue, green, red and a zero byte
    }
    for (int stored = 0; stored < rows_; ++stored) {
        // Bottom-up files store the bottom row first.
        const int y = height_ < 0 ? stored : rows_ - 1 - stored;
        std::vector<std::uint8_t> row(stride, 0xCD);
        for (int x = 0; x < width_; ++x) {
            const std::uint32_t value = pixels_[static_cast<std::size_t>(y * width_ + x)];
            const std::size_t bit = static_cast<std::size_t>(x) * bitCount;
            for (int i = 0; i < bitCount / 8; ++i) {
                row[bit / 8 + i] = static_cast<std::uint8_t>(value >> (8 * i));
            }
            if (bitCount < 8) {
                const int shift = 8 - bitCount - static_cast<int>(bit % 8);
                const auto field = static_cast<std::uint8_t>(((1u << bitCount) - 1) << shift);
                row[bit / 8] =
                    static_cast<std::uint8_t>((row[bit / 8] & ~field) | (value << shift & field));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void DibBuilder::writeTo(const std::string& path) const {
    const auto data = bytes();
    if (!std::ofstream(path, std::ios::binary)
             .write(reinterpret_cast<const char*>(data.data()),
                    static_cast<std::streamsize>(data.size()))) {
        throw std::runtime_error("cannot write " + path);
    }
}
