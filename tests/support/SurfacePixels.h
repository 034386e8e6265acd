#pragma once

#include "base/Surface.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

// Reading and filling a Surface's pixels in tests, in red, green, blue terms.
struct Rgb {
    int red;
    int green;
    int blue;
    bool operator==(const Rgb&) const = default;
};

inline Rgb pixelAt(const Surface& surface, int x, int y) {
    const std::uint8_t* pixel = surface.rowFromTop(y) + x * 3;
    return {pixel[2], pixel[1], pixel[0]};
}

inline Surface filled(int width, int height, Rgb color) {
    Surface surface = *Surface::create(width, height);
    for (int y = 0; y < height; ++y) {
        for (std::uint8_t* pixel = surface.rowFromTop(y); pixel < surface.rowFromTop(y) + width * 3;
             pixel += 3) {
            pixel[0] = static_cast<std::uint8_t>(color.blue);
            pixel[1] = static_cast<std::uint8_t>(color.green);
            pixel[2] = static_cast<std::uint8_t>(color.red);
        }
    }
    return surface;
}

// Whether rows firstRow up to endRow (from the top) of two surfaces of one size are equal.
inline bool samePixels(const Surface& a, const Surface& b, int firstRow = 0, int endRow = INT_MAX) {
    for (int y = firstRow; y < std::min(endRow, a.height()); ++y) {
        if (!std::equal(a.rowFromTop(y), a.rowFromTop(y) + a.width() * 3, b.rowFromTop(y))) {
            return false;
        }
    }
    return true;
}

// The mean difference of two surfaces of one size, per colour sample (0 to 255): a few
// levels for a picture that went through lossy coding, tens for another picture.
inline double meanDifference(const Surface& a, const Surface& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int i = 0; i < a.width() * 3; ++i) {
            sum += std::abs(a.rowFromTop(y)[i] - b.rowFromTop(y)[i]);
        }
    }
    return sum / (3.0 * a.width() * a.height());
}
