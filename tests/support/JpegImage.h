#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A JPEG file decoded with libjpeg-turbo, for checking what the program wrote.
struct JpegImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // red, green, blue per pixel, top row first

    struct Rgb {
        int red;
        int green;
        int blue;
    };
    Rgb at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }

    // Nothing when the file is missing or not a complete JPEG.
    static std::optional<JpegImage> read(const std::string& fileName);
};
