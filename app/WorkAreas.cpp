#include "app/WorkAreas.h"

#include "platform/WindowSystem.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

std::int64_t overlap(Rect a, Rect b) {
    const std::int64_t width = std::min(a.right, b.right) - std::max(a.left, b.left);
    const std::int64_t height = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return width > 0 && height > 0 ? width * height : 0;
}

// width x height made smaller, keeping its aspect, until it fits limitWidth x limitHeight;
// a size of nothing becomes the limit itself.
void shrinkInto(int& width, int& height, int limitWidth, int limitHeight) {
    if (width <= 0 || height <= 0) {
        width = limitWidth;
        height = limitHeight;
        return;
    }
    const std::int64_t wide = std::int64_t{width} * limitHeight;
    const std::int64_t tall = std::int64_t{height} * limitWidth;
    if (wide > tall) {
        height = static_cast<int>(tall / width);
        width = limitWidth;
    } else {
        width = static_cast<int>(wide / height);
        height = limitHeight;
    }
}

// The near edge of a window of that extent on one axis, moved only as far as it must to lie
// between areaNear and areaFar.
int keptInside(int nearEdge, int extent, int areaNear, int areaFar) {
    return std::max(std::min(nearEdge, areaFar - extent), areaNear);
}

} // namespace

WorkAreas::WorkAreas(const WindowSystem& windowSystem)
    : windowSystem_(windowSystem) {}

Rect WorkAreas::around(Rect rect) const {
    const std::vector<Rect> areas = windowSystem_.workAreas();
    Rect best = areas.front();
    std::int64_t bestOverlap = 0;
    for (const Rect& area : areas) {
        if (overlap(area, rect) > bestOverlap) {
            best = area;
            bestOverlap = overlap(area, rect);
        }
    }
    return best;
}

Rect WorkAreas::zoomed(Rect window, int imageWidth, int imageHeight, float factor) const {
    const Rect area = around(window);
    if (factor < 0) {
        int width = imageWidth;
        int height = imageHeight;
        shrinkInto(width, height, area.width(), area.height());
        const int left = area.left + (area.width() - width) / 2;
        const int top = area.top + (area.height() - height) / 2;
        return Rect{left, top, left + width, top + height};
    }
    int width = static_cast<int>(static_cast<float>(imageWidth) * factor);
    int height = static_cast<int>(static_cast<float>(imageHeight) * factor);
    if (width <= area.width() && height <= area.height()) {
        return Rect{window.left, window.top, window.left + width, window.top + height};
    }
    shrinkInto(width, height, area.width(), area.height());
    const int left = keptInside(window.left, width, area.left, area.right);
    const int top = keptInside(window.top, height, area.top, area.bottom);
    return Rect{left, top, left + width, top + height};
}
