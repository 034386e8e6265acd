#pragma once

#include <cstdint>
#include <cstdlib>
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

    // The mean difference per colour sample (0 to 255) from a Surface of the same size: a
    // few levels after lossy coding, tens for another picture.
    template <typename Surface> double meanDifference(const Surface& picture) const {
        double sum = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width * 3; ++x) {
                sum += std::abs(rgb[(static_cast<std::size_t>(y) * width) * 3 + x] -
                                picture.rowFromTop(y)[x / 3 * 3 + 2 - x % 3]);
            }
        }
        return sum / (3.0 * width * height);
    }

    // Nothing when the file is missing or not a complete JPEG.
    static std::optional<JpegImage> read(const std::string& fileName);
};
