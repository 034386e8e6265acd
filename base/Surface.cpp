#include "base/Surface.h"

#include <utility>

std::optional<Surface> Surface::create(int width, int height) {
    if (!fits(width, height)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> pixels(strideFor(width) * static_cast<std::size_t>(height));
    return Surface(width, height, std::move(pixels), 0);
}

std::optional<Surface> Surface::adopt(int width, int height, std::vector<std::uint8_t> buffer,
                                      std::size_t offset) {
    if (!fits(width, height) || offset > buffer.size() ||
        buffer.size() - offset < strideFor(width) * static_cast<std::size_t>(height)) {
        return std::nullopt;
    }
    return Surface(width, height, std::move(buffer), offset);
}

bool Surface::fits(int width, int height) {
    return width > 0 && height > 0 &&
           strideFor(width) <= maxBytes / static_cast<std::size_t>(height);
}

Surface::Surface(int width, int height, std::vector<std::uint8_t> buffer, std::size_t offset)
    : width_(width)
    , height_(height)
    , stride_(strideFor(width))
    , pixels_(std::move(buffer))
    , offset_(offset) {}
