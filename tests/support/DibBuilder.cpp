#include "tests/support/DibBuilder.h"

#include <fstream>
#include <stdexcept>

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

} // namespace

DibBuilder::DibBuilder(int width, int height, std::uint16_t bitCount)
    : bitCount(bitCount)
    , width_(width)
    , height_(height)
    , pixels_(static_cast<std::size_t>(width) *
              static_cast<std::size_t>(height < 0 ? -height : height)) {}

void DibBuilder::setPixel(int x, int y, std::uint32_t value) {
    pixels_.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x)) = value;
}

std::size_t DibBuilder::stride() const {
    return (std::size_t{bitCount} * static_cast<std::size_t>(width_) + 31) / 32 * 4;
}

std::size_t DibBuilder::pixelOffset() const {
    const std::size_t header = coreHeader ? 12 : 40;
    const std::size_t maskBytes = masks && !coreHeader ? 12 : 0;
    return (fileHeader ? 14 : 0) + header + maskBytes + palette.size() * (coreHeader ? 3 : 4) +
           gapBytes;
}

std::vector<std::uint8_t> DibBuilder::bytes() const {
    std::vector<std::uint8_t> out;
    const std::size_t fileSize = pixelOffset() + imageBytes();
    if (fileHeader) {
        out.push_back('B');
        out.push_back('M');
        put32(out, static_cast<std::uint32_t>(fileSize));
        put32(out, 0);
        put32(out, offBits.value_or(static_cast<std::uint32_t>(pixelOffset())));
    }
    const auto widthValue = static_cast<std::uint32_t>(widthField.value_or(width_));
    const auto heightValue = static_cast<std::uint32_t>(heightField.value_or(height_));
    if (coreHeader) {
        put32(out, headerSizeField.value_or(12));
        put16(out, widthValue);
        put16(out, heightValue);
        put16(out, planes);
        put16(out, bitCount);
    } else {
        put32(out, headerSizeField.value_or(40));
        put32(out, widthValue);
        put32(out, heightValue);
        put16(out, planes);
        put16(out, bitCount);
        put32(out, compression);
        put32(out, sizeImage.value_or(static_cast<std::uint32_t>(imageBytes())));
        put32(out, 2835);
        put32(out, 2835);
        put32(out, clrUsed.value_or(static_cast<std::uint32_t>(palette.size())));
        put32(out, 0);
        if (masks) {
            for (std::uint32_t mask : *masks) {
                put32(out, mask);
            }
        }
    }
    for (std::uint32_t color : palette) {
        out.push_back(static_cast<std::uint8_t>(color));
        out.push_back(static_cast<std::uint8_t>(color >> 8));
        out.push_back(static_cast<std::uint8_t>(color >> 16));
        if (!coreHeader) {
            out.push_back(0);
        }
    }
    out.insert(out.end(), gapBytes, gapByte);

    const int rowCount = rows();
    for (int stored = 0; stored < rowCount; ++stored) {
        // Bottom-up files store the bottom row first.
        const int y = height_ < 0 ? stored : rowCount - 1 - stored;
        std::vector<std::uint8_t> row(stride(), paddingByte);
        std::size_t used = 0;
        for (int x = 0; x < width_; ++x) {
            const std::uint32_t value =
                pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                        static_cast<std::size_t>(x)];
            if (bitCount == 1 || bitCount == 2 || bitCount == 4) {
                // Unused low bits of a row's last byte keep the padding pattern.
                const std::size_t bit = static_cast<std::size_t>(x) * bitCount;
                const int shift = 8 - bitCount - static_cast<int>(bit % 8);
                const auto fieldMask = static_cast<std::uint8_t>(((1u << bitCount) - 1) << shift);
                auto& byte = row[bit / 8];
                byte =
                    static_cast<std::uint8_t>((byte & ~fieldMask) | ((value << shift) & fieldMask));
            } else if (bitCount % 8 == 0 && bitCount <= 32) {
                for (int i = 0; i < bitCount / 8; ++i) {
                    row[used++] = static_cast<std::uint8_t>(value >> (8 * i));
                }
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void DibBuilder::writeTo(const std::string& path) const {
    writeFile(path, bytes());
}

void DibBuilder::writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}
