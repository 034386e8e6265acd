#include "image/Overlay.h"

#include "base/Surface.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <utility>

namespace {

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// Two decimal digits of a clock field, whatever its range.
int twoDigits(long value) {
    return static_cast<int>(((value % 100) + 100) % 100);
}

// x + delta without overflow: a coordinate at the int limits is far outside any surface,
// so stopping there changes nothing that is drawn.
int offset(int value, int delta) {
    const std::int64_t sum = std::int64_t{value} + delta;
    return static_cast<int>(std::clamp<std::int64_t>(sum, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

struct Offset {
    int dx;
    int dy;
};

// Where the background colour is drawn around the text, in this order.
constexpr std::array<Offset, 8> outlineOffsets{{
    {-1, 0},
    {0, -1},
    {1, 0},
    {0, 1},
    {-1, 1},
    {1, 1},
    {1, -1},
    {-1, -1},
}};

} // namespace

Overlay::Overlay()
    : Overlay(localNow) {}

Overlay::Overlay(Clock clock)
    : clock_(std::move(clock))
    , font_("Tahoma", fontHeightPx) {}

void Overlay::drawOutlinedText(Surface& surface, const std::string& text, int x, int y,
                               TextAlign align, Colors colors) {
    // The nine passes share one layout: each glyph is decoded and looked up once per call.
    const Font::Line line = font_.layout(text);
    for (const Offset& around : outlineOffsets) {
        font_.draw(surface, line, offset(x, around.dx), offset(y, around.dy), align, colors.back);
    }
    font_.draw(surface, line, x, y, align, colors.text);
}

void Overlay::drawDateTime(Surface& surface, int imageHeight, Colors colors) {
    drawOutlinedText(surface, formatDateTime(clock_()), 1, imageHeight, TextAlign::bottom, colors);
}

void Overlay::drawText(Surface& surface, const std::string& text, Colors colors) {
    drawOutlinedText(surface, text, 1, 1, TextAlign::top, colors);
}

std::string Overlay::formatDateTime(const std::tm& time) {
    std::array<char, 18> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%02d/%02d/%02d %02d:%02d:%02d",
                  twoDigits(time.tm_mon + 1L), twoDigits(time.tm_mday),
                  twoDigits(time.tm_year + 1900L), twoDigits(time.tm_hour), twoDigits(time.tm_min),
                  twoDigits(time.tm_sec));
    return buffer.data();
}
