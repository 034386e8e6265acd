#include "image/Overlay.h"

#include "base/Surface.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
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

// Pixels from the start of the line to the right edge of its last mark.
std::int64_t lineWidth(const Font::Line& line) {
    std::int64_t width = 0;
    for (const Font::PlacedGlyph& placed : line) {
        width = std::max(width, placed.penX + std::max(placed.glyph->advance,
                                                       placed.glyph->left + placed.glyph->width));
    }
    return width;
}

} // namespace

Overlay::Overlay()
    : Overlay(localNow) {}

Overlay::Overlay(Clock clock)
    : clock_(std::move(clock))
    , font_("Tahoma", fontHeightPx) {}

void Overlay::drawOutlinedText(Surface& surface, const std::string& text, int x, int y,
                               TextAlign align, Colors colors) {
    drawOutlined(font_, surface, text, x, y, align, false, colors);
}

void Overlay::drawOutlined(Font& font, Surface& surface, const std::string& text, int x, int y,
                           TextAlign align, bool fromRight, Colors colors) {
    // The nine passes share one layout: each glyph is decoded and looked up once per call.
    const Font::Line line = font.layout(text);
    if (fromRight) {
        // x pixels in from the right edge to the end of the line.
        x = offset(surface.width() - x, static_cast<int>(-std::min<std::int64_t>(
                                            lineWidth(line), std::numeric_limits<int>::max())));
    }
    for (const Offset& around : outlineOffsets) {
        font.draw(surface, line, offset(x, around.dx), offset(y, around.dy), align, colors.back);
    }
    font.draw(surface, line, x, y, align, colors.text);
}

Font& Overlay::fontOf(int pixelHeight) {
    if (pixelHeight == fontHeightPx) {
        return font_;
    }
    if (!sized_ || sizedHeight_ != pixelHeight) {
        sized_.emplace("Tahoma", pixelHeight);
        sizedHeight_ = pixelHeight;
    }
    return *sized_;
}

void Overlay::drawCaptions(Surface& surface, bool dateTime, const std::string& text,
                           const PictureOptions& options, Colors colors) {
    if (options.textSizePerMille == 0 && options.corner == StampCorner::bottomLeft &&
        options.dateFormat.empty()) {
        if (dateTime) {
            drawDateTime(surface, surface.height(), colors);
        }
        if (!text.empty()) {
            drawText(surface, text, colors);
        }
        return;
    }
    const int height =
        options.textSizePerMille == 0
            ? fontHeightPx
            : std::max(
                  1, static_cast<int>(
                         (std::int64_t{surface.height()} * options.textSizePerMille + 500) / 1000));
    Font& font = fontOf(height);
    const auto corner = static_cast<int>(options.corner);
    const bool right = corner % 2 == 1;
    const bool dateAtBottom = corner < 2;
    if (dateTime) {
        drawOutlined(font, surface, formatDateTime(clock_(), options.dateFormat), 1,
                     dateAtBottom ? surface.height() : 1,
                     dateAtBottom ? TextAlign::bottom : TextAlign::top, right, colors);
    }
    if (!text.empty()) {
        drawOutlined(font, surface, text, 1, dateAtBottom ? 1 : surface.height(),
                     dateAtBottom ? TextAlign::top : TextAlign::bottom, right, colors);
    }
}

std::string Overlay::formatDateTime(const std::tm& time, const std::string& pattern) {
    if (pattern.empty()) {
        return formatDateTime(time);
    }
    std::array<char, 256> buffer{};
    const std::size_t length = std::strftime(buffer.data(), buffer.size(), pattern.c_str(), &time);
    return {buffer.data(), length};
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
