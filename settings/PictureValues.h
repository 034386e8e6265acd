#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The forms and limits of the picture and schedule settings, for the dialog that takes them
// and the file reader that checks them alike.
class PictureValues {
public:
    PictureValues() = delete;

    // The widest output picture the dialog takes, in pixels; 0 keeps the camera's width.
    static constexpr int minWidth = 16;
    static constexpr int maxWidth = 7680;
    // The caption height in thousandths of the picture's height; 0 keeps the usual 11 px.
    static constexpr int minTextSize = 5;
    static constexpr int maxTextSize = 500;
    // The longest date pattern and overlay text the Picture dialog keeps, in bytes.
    static constexpr std::size_t maxDateFormat = 63;

    // A plain decimal number, blanks around it allowed; nothing for any other text.
    static std::optional<int> parseNumber(std::string_view text);
    // "x,y,w,h" in the camera's pixels, each a plain decimal number, w and h above 0;
    // nothing for any other text, the empty one included.
    static std::optional<std::array<int, 4>> parseCrop(std::string_view text);
    // "HH:MM" from 00:00 to 23:59, as the minutes since midnight.
    static std::optional<int> parseClock(std::string_view text);
    // A decimal number of degrees from -limit to limit, with a point as the decimal mark.
    static std::optional<double> parseDegrees(std::string_view text, double limit);

    static bool isCrop(std::string_view text) { return text.empty() || parseCrop(text); }
    static bool isRotate(int value) { return value >= 0 && value <= 270 && value % 90 == 0; }
    static bool isFlip(int value) { return value >= 0 && value <= 2; }
    static bool isWidth(int value) {
        return value == 0 || (value >= minWidth && value <= maxWidth);
    }
    static bool isTextSize(int value) {
        return value == 0 || (value >= minTextSize && value <= maxTextSize);
    }
    static bool isCorner(int value) { return value >= 0 && value <= 3; }
    static bool isMode(int value) { return value >= 0 && value <= 3; }
    static bool isClock(std::string_view text) { return parseClock(text).has_value(); }
    static bool isLatitude(std::string_view text) { return parseDegrees(text, 90).has_value(); }
    static bool isLongitude(std::string_view text) { return parseDegrees(text, 180).has_value(); }
    // Seven characters 0 or 1, Monday first, at least one 1: "1111100" is Monday to Friday.
    static bool isDays(std::string_view text);
    static bool isDateFormat(std::string_view text) { return text.size() <= maxDateFormat; }
};
