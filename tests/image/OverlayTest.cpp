#include "image/Overlay.h"

#include "tests/support/SurfacePixels.h"

#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <string>
#include <tuple>

namespace {

constexpr Rgb green{0, 255, 0};
constexpr Overlay::Colors redOnBlue{0x000000FF, 0x00FF0000};

// Drawn on green in red text with a blue outline, so each pixel tells which passes reached it.
class OverlayTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(overlay.hasFont()) << "no font face installed"; }

    std::tm now{};
    int clockReadings = 0;
    Overlay overlay{[this] { return ++clockReadings, now; }};
};

// Month, day, two-digit year and time, from one reading of the clock, at the bottom left.
TEST_F(OverlayTest, DateTimeLineIsDrawnFromOneClockReadingAtTheBottom) {
    for (const auto& [time, expected] :
         {std::pair{std::array{7, 4, 9, 5, 2, 107}, "03/05/07 09:04:07"},
          std::pair{std::array{59, 59, 23, 31, 11, 99}, "12/31/99 23:59:59"},
          std::pair{std::array{0, 30, 12, 14, 6, 200}, "07/14/00 12:30:00"}}) {
        now = std::tm{};
        std::tie(now.tm_sec, now.tm_min, now.tm_hour, now.tm_mday, now.tm_mon, now.tm_year) =
            std::tuple_cat(time);
        clockReadings = 0;
        Surface drawn = filled(160, 40, green);
        overlay.drawDateTime(drawn, drawn.height(), redOnBlue);
        EXPECT_EQ(clockReadings, 1);
        Surface wanted = filled(160, 40, green);
        overlay.drawOutlinedText(wanted, expected, 1, 40, TextAlign::bottom, redOnBlue);
        EXPECT_TRUE(samePixels(drawn, wanted)) << expected;
    }
}

// Text in its colour, with a ring of the outline colour around it where the picture was.
TEST_F(OverlayTest, OutlineSurroundsTheText) {
    Surface surface = filled(60, 20, green);
    overlay.drawText(surface, "HEL", redOnBlue);
    int text = 0, outline = 0;
    for (int y = 1; y < surface.height() - 1; ++y) {
        for (int x = 1; x < surface.width() - 1; ++x) {
            const bool isText = pixelAt(surface, x, y) == Rgb{255, 0, 0};
            text += isText;
            outline += pixelAt(surface, x, y) == Rgb{0, 0, 255};
            for (int d = 0; isText && d < 9; ++d) {
                EXPECT_EQ(pixelAt(surface, x + d % 3 - 1, y + d / 3 - 1).green, 0) << x << "," << y;
            }
        }
    }
    EXPECT_GT(text, 8);
    EXPECT_GT(outline, 8);
}

} // namespace
