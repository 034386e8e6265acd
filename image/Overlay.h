#pragma once

#include "base/Font.h"
#include "image/PictureOptions.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

class Surface;

// Draws the two captions of a grabbed frame: the date/time line in the bottom-left corner
// and the user's text in the top-left corner, in the text colour with a one-pixel outline
// in the background colour, so that they stay readable on any picture.
//
// The font is looked up once, when the Overlay is made; the colours come with every call.
class Overlay {
public:
    // Returns the local date and time, all fields from one reading of the clock.
    using Clock = std::function<std::tm()>;

    // Packed as red + green * 256 + blue * 65536 (0x00BBGGRR).
    struct Colors {
        std::uint32_t text = 0;
        std::uint32_t back = 0;
    };

    // The font's character (em) height: 8 points at 96 dots per inch.
    static constexpr int fontHeightPx = 11;

    // Uses the local time of the system clock.
    Overlay();
    explicit Overlay(Clock clock);

    // Draws the text as one line with its pen starting at x and its character cell aligned
    // to y: eight times in the background colour, one pixel off in each direction, then in
    // the text colour at (x, y).
    void drawOutlinedText(Surface& surface, const std::string& text, int x, int y, TextAlign align,
                          Colors colors);

    // Draws the current date and time as "MM/DD/YY HH:MM:SS" with the bottom of the text
    // on the bottom edge of an image of the given height, one pixel in from the left.
    void drawDateTime(Surface& surface, int imageHeight, Colors colors);

    // Draws the user's text with the top of the text one pixel below the top edge, one
    // pixel in from the left, so that its outline touches the top-left corner.
    void drawText(Surface& surface, const std::string& text, Colors colors);

    // Draws the date/time line (when dateTime is set) and then the text (when not empty) as
    // the options say: with their defaults just as drawDateTime and drawText do; else with
    // the characters the options' share of the surface's height high, in the options'
    // corners, one pixel in from the edges, the date/time line in the options' pattern.
    void drawCaptions(Surface& surface, bool dateTime, const std::string& text,
                      const PictureOptions& options, Colors colors);

    // The time in a strftime pattern; formatDateTime's form for an empty pattern.
    static std::string formatDateTime(const std::tm& time, const std::string& pattern);

    // "MM/DD/YY HH:MM:SS": month, day, year modulo 100, hour (00 to 23), minute, second.
    static std::string formatDateTime(const std::tm& time);

    // False when no font face could be found: then nothing is drawn.
    bool hasFont() const { return font_.isValid(); }

private:
    // fromRight: x counts from the right edge to the end of the line.
    void drawOutlined(Font& font, Surface& surface, const std::string& text, int x, int y,
                      TextAlign align, bool fromRight, Colors colors);
    // The usual font, or one of the given character height, made once for each new height.
    Font& fontOf(int pixelHeight);

    Clock clock_;
    Font font_;
    std::optional<Font> sized_;
    int sizedHeight_ = 0;
};
