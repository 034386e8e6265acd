#include "image/Overlay.h"

#include "platform/Surface.h"
#include "settings/Settings.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/SurfacePixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr Rgb green{0, 255, 0};
constexpr std::uint32_t redRef = 0x000000FF;
constexpr std::uint32_t blueRef = 0x00FF0000;

// The pictures below are drawn on green in red text with a blue outline, so each pixel
// tells which passes reached it.
bool isText(Rgb pixel) {
    return pixel == Rgb{255, 0, 0};
}
bool isOutline(Rgb pixel) {
    return pixel == Rgb{0, 0, 255};
}

std::tm makeTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

class OverlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings::setTextColor(redRef);
        Settings::setBackColor(blueRef);
        ASSERT_TRUE(overlay.hasFont()) << "no font face installed";
    }

    SettingsSnapshot keepSettings;
    std::tm now{};
    int clockReadings = 0;
    Overlay overlay{[this] {
        ++clockReadings;
        return now;
    }};
};

struct DateTimeCase {
    const char* name;
    std::tm time;
    const char* expected;
};

class OverlayDateTimeTest : public OverlayTest,
                            public ::testing::WithParamInterface<DateTimeCase> {};

// Month, day, two-digit year and time, from one reading of the clock, at the bottom left.
TEST_P(OverlayDateTimeTest, LineIsDrawnFromOneClockReadingAtTheBottom) {
    now = GetParam().time;
    Surface drawn = filled(160, 40, green);
    overlay.drawDateTime(drawn, drawn.height());
    EXPECT_EQ(clockReadings, 1);
    Surface expected = filled(160, 40, green);
    overlay.drawOutlinedText(expected, GetParam().expected, 1, 40, TextAlign::bottom);
    EXPECT_TRUE(samePixels(drawn, expected));
}

INSTANTIATE_TEST_SUITE_P(
    Dates, OverlayDateTimeTest,
    ::testing::Values(
        DateTimeCase{"MorningInMarch2007", makeTime(2007, 3, 5, 9, 4, 7), "03/05/07 09:04:07"},
        DateTimeCase{"LastSecondOf1999", makeTime(1999, 12, 31, 23, 59, 59), "12/31/99 23:59:59"},
        DateTimeCase{"Year2100", makeTime(2100, 7, 14, 12, 30, 0), "07/14/00 12:30:00"}),
    [](const auto& info) { return std::string(info.param.name); });

// Text in its colour, with a ring of the outline colour around it where the picture was.
TEST_F(OverlayTest, OutlineSurroundsTheText) {
    Surface surface = filled(60, 20, green);
    overlay.drawText(surface, "HEL");
    int text = 0;
    int outline = 0;
    for (int y = 1; y < surface.height() - 1; ++y) {
        for (int x = 1; x < surface.width() - 1; ++x) {
            text += isText(pixelAt(surface, x, y));
            outline += isOutline(pixelAt(surface, x, y));
            for (int d = 0; isText(pixelAt(surface, x, y)) && d < 9; ++d) {
                EXPECT_EQ(pixelAt(surface, x + d % 3 - 1, y + d / 3 - 1).green, 0) << x << "," << y;
            }
        }
    }
    EXPECT_GT(text, 8);
    EXPECT_GT(outline, 8);
}

// Drawing reaches no pixel outside the surface, however small it is and wherever the text is.
TEST_F(OverlayTest, SmallSurfacesAndFarCoordinatesAreSafe) {
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{2, 1}, std::pair{5, 3}}) {
        Surface surface = filled(width, height, green);
        overlay.drawDateTime(surface, surface.height());
        overlay.drawText(surface, "Wide text on a tiny surface");
        for (const int at : {INT_MIN, -20, -1, 0, 1, INT_MAX}) {
            overlay.drawOutlinedText(surface, "Wg|", at, at, TextAlign::top);
            overlay.drawOutlinedText(surface, "Wg|", at, -at / 2, TextAlign::bottom);
        }
        overlay.drawDateTime(surface, INT_MIN);
        overlay.drawDateTime(surface, INT_MAX);
    }
}

} // namespace
