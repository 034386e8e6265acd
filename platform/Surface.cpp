#include "platform/Surface.h"

std::optional<Surface> Surface::create(int width, int height) {
    if (width <= 0 || height <= 0) {
        return std::nullopt;
    }
    const std::size_t stride = strideFor(width);
    if (stride > maxBytes / static_cast<std::size_t>(height)) {
        return std::nullopt;
    }
    return Surface(width, height);
}

Surface::Surface(int width, int height)
    : width_(width)
    , height_(height)
    , stride_(strideFor(width))
    , pixels_(stride_ * static_cast<std::size_t>(height)) {}
