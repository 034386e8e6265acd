#pragma once

#include "base/Surface.h"
#include "image/MjpegDecoder.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

// A JPEG file the program wrote, decoded at the size it should have; nothing when it is
// missing, damaged, cut short or of another size.
inline std::optional<Surface> readJpeg(const std::string& fileName, int width, int height) {
    std::ifstream in(fileName, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::optional<Surface> picture;
    if (!MjpegDecoder().decode(bytes.data(), bytes.size(), width, height, 1, picture)) {
        return std::nullopt;
    }
    return picture;
}
