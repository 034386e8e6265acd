#include "tests/support/DibBuilder.h"

#include <fstream>
#include <stdexcept>

namespace {

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

} // namespace

DibBuilder::DibBuilder(int width, int height, std::uint16_t bitCount)
    : bitCount(bitCount)
    , width_(width)
    , height_(height)
    , rows_(height < 0 ? -height : height)
    , pixels_(static_cast<std::size_t>(width * rows_)) {}

std::vector<std::uint8_t> DibBuilder::bytes() const {
    const std::size_t stride =
        (std::size_t{bitCount} * static_cast<std::size_t>(width_) + 31) / 32 * 4;
    const int entryBytes = coreHeader ? 3 : 4;
    const std::size_t offset = (fileHeader ? 14 : 0) + (coreHeader ? 12 : 40) +
                               (masks && !coreHeader ? 12 : 0) + palette.size() * entryBytes;
    std::vector<std::uint8_t> out;
    if (fileHeader) {
        put(out, 'B' | 'M' << 8, 2);
        put(out, static_cast<std::uint32_t>(offset + stride * rows_), 4);
        put(out, 0, 4);
        put(out, static_cast<std::uint32_t>(offset), 4);
    }
    const int sideBytes = coreHeader ? 2 : 4;
    put(out, coreHeader ? 12 : 40, 4);
    put(out, static_cast<std::uint32_t>(width_), sideBytes);
    put(out, static_cast<std::uint32_t>(height_), sideBytes);
    put(out, 1, 2);
    put(out, bitCount, 2);
    if (!coreHeader) {
        for (std::uint32_t field : {compression, static_cast<std::uint32_t>(stride * rows_), 2835u,
                                    2835u, static_cast<std::uint32_t>(palette.size()), 0u}) {
            put(out, field, 4);
        }
        for (std::size_t i = 0; masks && i < masks->size(); ++i) {
            put(out, (*masks)[i], 4);
        }
    }
    for (std::uint32_t color : palette) {
        // Blue, green, red, and a zero byte after an info header.
        put(out, color, entryBytes);
    }
    for (int stored = 0; stored < rows_; ++stored) {
        // Bottom-up files store the bottom row first.
        const int y = height_ < 0 ? stored : rows_ - 1 - stored;
        std::vector<std::uint8_t> row(stride, 0xCD);
        for (int x = 0; x < width_; ++x) {
            const std::uint32_t value = pixels_[static_cast<std::size_t>(y * width_ + x)];
            const std::size_t bit = static_cast<std::size_t>(x) * bitCount;
            if (bitCount < 8) {
                const int shift = 8 - bitCount - static_cast<int>(bit % 8);
                const auto field = static_cast<std::uint8_t>(((1u << bitCount) - 1) << shift);
                row[bit / 8] =
                    static_cast<std::uint8_t>((row[bit / 8] & ~field) | (value << shift & field));
            } else {
                for (int i = 0; i < bitCount / 8; ++i) {
                    row[bit / 8 + i] = static_cast<std::uint8_t>(value >> (8 * i));
                }
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void DibBuilder::writeTo(const std::string& path) const {
    const auto data = bytes();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}
