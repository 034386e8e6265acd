#pragma once

#include "base/Surface.h"
#include "image/MjpegDecoder.h"
#include "tests/support/FileBytes.h"

#include <cstdint>
#include <optional>
#include <string>

// JPEG bytes decoded at the size they should have; nothing when they are damaged, cut
// short or of another size.
inline std::optional<Surface> decodeJpeg(const std::string& bytes, int width, int height) {
    std::optional<Surface> picture;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return MjpegDecoder().decode(data, bytes.size(), width, height, 1, picture) ? std::move(picture)
                                                                                : std::nullopt;
}

// A JPEG file the program wrote, decoded likewise; nothing when it is missing.
inline std::optional<Surface> readJpeg(const std::string& fileName, int width, int height) {
    return decodeJpeg(readBytes(fileName), width, height);
}
