#include "image/Overlay.h"

#include "platform/Font.h"
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
bool hasTextInk(Rgb pixel) {
    return pixel.red > 0;
}
bool hasOutlineInkOnly(Rgb pixel) {
    return pixel.blue > 0 && pixel.red == 0;
}
bool touched(Rgb pixel) {
    return !(pixel == green);
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
    std::tm now = makeTime(2007, 3, 5, 9, 4, 7);
    int clockReadings = 0;
    Overlay overlay{[this] {
        ++clockReadings;
        return now;
    }};
    // The same face the overlay uses, to pick glyphs that reach the edges of the cell.
    Font font{"Tahoma", Overlay::fontHeightPx};
};

struct DateTimeCase {
    const char* name;
    std::tm time;
    const char* expected;
};

class OverlayFormatTest : public ::testing::TestWithParam<DateTimeCase> {};

TEST_P(OverlayFormatTest, FormatsMonthDayYearAndTime) {
    const std::string line = Overlay::formatDateTime(GetParam().time);
    EXPECT_EQ(line, GetParam().expected);
    EXPECT_EQ(line.size(), 17u);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, OverlayFormatTest,
    ::testing::Values(
        DateTimeCase{"MorningInMarch2007", makeTime(2007, 3, 5, 9, 4, 7), "03/05/07 09:04:07"},
        DateTimeCase{"LastSecondOf1999", makeTime(1999, 12, 31, 23, 59, 59), "12/31/99 23:59:59"},
        DateTimeCase{"Midnight2000", makeTime(2000, 1, 1, 0, 0, 0), "01/01/00 00:00:00"},
        DateTimeCase{"LeapSecond", makeTime(2016, 12, 31, 23, 59, 60), "12/31/16 23:59:60"},
        DateTimeCase{"Year2100", makeTime(2100, 7, 14, 12, 30, 0), "07/14/00 12:30:00"},
        DateTimeCase{"Year1900", makeTime(1900, 2, 28, 1, 2, 3), "02/28/00 01:02:03"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OverlayTest, DateTimeLineComesFromOneClockReading) {
    Surface drawn = filled(160, 40, green);
    Surface expected = filled(160, 40, green);
    now = makeTime(1999, 12, 31, 23, 59, 59);
    overlay.drawDateTime(drawn, drawn.height());
    EXPECT_EQ(clockReadings, 1);
    overlay.drawOutlinedText(expected, "12/31/99 23:59:59", 1, 40, TextAlign::bottom);
    EXPECT_TRUE(samePixels(drawn, expected));
}

TEST_F(OverlayTest, DefaultOverlayDrawsTheLocalTime) {
    Overlay local;
    Surface surface = filled(160, 30, green);
    local.drawDateTime(surface, surface.height());
    int text = 0;
    for (int x = 0; x < surface.width(); ++x) {
        for (int y = 0; y < surface.height(); ++y) {
            text += isText(pixelAt(surface, x, y));
        }
    }
    EXPECT_GT(text, 17);
}

TEST_F(OverlayTest, OutlineSurroundsTheText) {
    Surface surface = filled(60, 20, green);
    overlay.drawText(surface, "HEL");
    int text = 0;
    int outline = 0;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            const Rgb pixel = pixelAt(surface, x, y);
            if (isText(pixel)) {
                ++text;
                // Every neighbour got a full-coverage outline pass: no green is left.
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        EXPECT_EQ(pixelAt(surface, x + dx, y + dy).green, 0)
                            << x + dx << "," << y + dy;
                    }
                }
            }
            if (isOutline(pixel)) {
                ++outline;
                // Pure outline lies next to some text ink.
                bool nextToText = false;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx;
                        const int ny = y + dy;
                        nextToText = nextToText || (nx >= 0 && ny >= 0 && nx < surface.width() &&
                                                    ny < surface.height() &&
                                                    hasTextInk(pixelAt(surface, nx, ny)));
                    }
                }
                EXPECT_TRUE(nextToText) << x << "," << y;
            }
        }
    }
    EXPECT_GT(text, 8);
    EXPECT_GT(outline, 8);
}

TEST_F(OverlayTest, UserTextOutlineTouchesTheTopLeftCorner) {
    // "W" starts right at the pen, "Ê" reaches the top of the cell.
    const Font::Line line = font.layout("W\xC3\x8A");
    ASSERT_EQ(line.size(), 2u);
    if (line[0].glyph->left != 0 || line[1].glyph->top != font.ascentPx()) {
        GTEST_SKIP() << "the installed face has other bearings";
    }
    Surface surface = filled(60, 20, green);
    overlay.drawText(surface, "W\xC3\x8A");

    bool outlineInTopRow = false;
    bool outlineInLeftColumn = false;
    bool textInSecondRow = false;
    bool textInSecondColumn = false;
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(hasTextInk(pixelAt(surface, i, 0))) << i;
        EXPECT_FALSE(hasTextInk(pixelAt(surface, 0, i))) << i;
        outlineInTopRow = outlineInTopRow || hasOutlineInkOnly(pixelAt(surface, i, 0));
        outlineInLeftColumn = outlineInLeftColumn || hasOutlineInkOnly(pixelAt(surface, 0, i));
        textInSecondRow = textInSecondRow || hasTextInk(pixelAt(surface, i, 1));
        textInSecondColumn = textInSecondColumn || hasTextInk(pixelAt(surface, 1, i));
    }
    EXPECT_TRUE(outlineInTopRow);
    EXPECT_TRUE(outlineInLeftColumn);
    EXPECT_TRUE(textInSecondRow);
    EXPECT_TRUE(textInSecondColumn);
}

TEST_F(OverlayTest, BottomAlignedTextReachesTheBottomRow) {
    // "|" reaches the bottom of the cell.
    const Font::Line line = font.layout("|");
    ASSERT_EQ(line.size(), 1u);
    if (line[0].glyph->rows - line[0].glyph->top != font.descentPx()) {
        GTEST_SKIP() << "the installed face has another bar";
    }
    Surface surface = filled(20, 30, green);
    overlay.drawOutlinedText(surface, "|", 1, 30, TextAlign::bottom);
    bool textInBottomRow = false;
    for (int x = 0; x < surface.width(); ++x) {
        textInBottomRow = textInBottomRow || hasTextInk(pixelAt(surface, x, 29));
    }
    EXPECT_TRUE(textInBottomRow);
}

TEST_F(OverlayTest, DateTimeLineStaysAnchoredToTheBottomEdge) {
    Surface low = filled(160, 30, green);
    Surface high = filled(160, 70, green);
    overlay.drawDateTime(low, low.height());
    overlay.drawDateTime(high, high.height());

    // The same picture, counted from the bottom edge; nothing above the cell and its
    // outline is touched.
    const int cellPx = font.ascentPx() + font.descentPx();
    for (int fromBottom = 1; fromBottom <= 30; ++fromBottom) {
        for (int x = 0; x < 160; ++x) {
            ASSERT_EQ(pixelAt(low, x, 30 - fromBottom), pixelAt(high, x, 70 - fromBottom))
                << x << ", " << fromBottom << " from the bottom";
            if (fromBottom > cellPx + 1) {
                ASSERT_FALSE(touched(pixelAt(low, x, 30 - fromBottom)));
            }
        }
    }
    // The digits stand on the baseline, descentPx above the bottom edge: below it only the
    // slashes go on. The outline's left column is the frame's first.
    const int lastRowAboveBaseline = 30 - font.descentPx() - 1;
    int textAboveBaseline = 0;
    int textBelowBaseline = 0;
    bool textOnBaseline = false;
    for (int x = 0; x < 160; ++x) {
        textOnBaseline = textOnBaseline || isText(pixelAt(low, x, lastRowAboveBaseline));
        textAboveBaseline += hasTextInk(pixelAt(low, x, lastRowAboveBaseline));
        textBelowBaseline += hasTextInk(pixelAt(low, x, lastRowAboveBaseline + 1));
    }
    EXPECT_LT(textBelowBaseline * 3, textAboveBaseline);
    bool outlineInLeftColumn = false;
    for (int y = 0; y < 30; ++y) {
        outlineInLeftColumn = outlineInLeftColumn || hasOutlineInkOnly(pixelAt(low, 0, y));
    }
    EXPECT_TRUE(textOnBaseline);
    EXPECT_TRUE(outlineInLeftColumn);
}

TEST_F(OverlayTest, LongTextIsCutAtTheRightEdge) {
    Surface surface = filled(80, 20, green);
    overlay.drawText(surface, std::string(400, 'M'));
    bool textInLastColumn = false;
    for (int y = 0; y < surface.height(); ++y) {
        textInLastColumn = textInLastColumn || hasTextInk(pixelAt(surface, 79, y));
    }
    EXPECT_TRUE(textInLastColumn);
}

struct CaptionCase {
    const char* name;
    bool dateTime;
    bool text;
};

class OverlayCaptionTest : public OverlayTest, public ::testing::WithParamInterface<CaptionCase> {};

// With the captions far apart, each one's rows look the same whether the other is drawn
// or not, and nothing is drawn where neither is.
TEST_P(OverlayCaptionTest, CaptionsAreIndependent) {
    const CaptionCase& row = GetParam();
    constexpr int height = 80;
    Surface both = filled(160, height, green);
    Surface dateOnly = filled(160, height, green);
    Surface textOnly = filled(160, height, green);
    const Surface untouched = filled(160, height, green);
    if (row.dateTime) {
        overlay.drawDateTime(both, height);
        overlay.drawDateTime(dateOnly, height);
    }
    if (row.text) {
        overlay.drawText(both, "Caption text");
        overlay.drawText(textOnly, "Caption text");
    }
    EXPECT_TRUE(samePixels(both, row.text ? textOnly : untouched, 0, height / 2));
    EXPECT_TRUE(samePixels(both, row.dateTime ? dateOnly : untouched, height / 2, height));
    EXPECT_EQ(samePixels(both, untouched), !row.dateTime && !row.text);
    EXPECT_EQ(clockReadings, row.dateTime ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(Captions, OverlayCaptionTest,
                         ::testing::Values(CaptionCase{"Neither", false, false},
                                           CaptionCase{"DateTimeOnly", true, false},
                                           CaptionCase{"TextOnly", false, true},
                                           CaptionCase{"Both", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OverlayTest, SameTextAndBackColourGiveSolidThickerText) {
    Surface outlined = filled(60, 20, green);
    overlay.drawText(outlined, "Hx");
    Settings::setBackColor(redRef);
    Surface solid = filled(60, 20, green);
    overlay.drawText(solid, "Hx");

    int grown = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 60; ++x) {
            const Rgb before = pixelAt(outlined, x, y);
            const Rgb after = pixelAt(solid, x, y);
            // Only red blended into green: no outline colour anywhere.
            EXPECT_EQ(after.blue, 0) << x << "," << y;
            EXPECT_NEAR(after.red + after.green, 255, 1) << x << "," << y;
            EXPECT_EQ(touched(after), touched(before)) << x << "," << y;
            if (isOutline(before)) {
                EXPECT_TRUE(isText(after)) << x << "," << y;
                ++grown;
            }
        }
    }
    EXPECT_GT(grown, 0);
}

struct TinyCase {
    const char* name;
    int width;
    int height;
};

class OverlayTinyTest : public OverlayTest, public ::testing::WithParamInterface<TinyCase> {};

TEST_P(OverlayTinyTest, SmallSurfacesAndFarCoordinatesAreSafe) {
    Surface surface = filled(GetParam().width, GetParam().height, green);
    overlay.drawDateTime(surface, surface.height());
    overlay.drawText(surface, "Wide text on a tiny surface");
    for (const int at : {INT_MIN, INT_MIN + 1, -20, -1, 0, 1, INT_MAX - 1, INT_MAX}) {
        overlay.drawOutlinedText(surface, "Wg|", at, at, TextAlign::top);
        overlay.drawOutlinedText(surface, "Wg|", at, -at / 2, TextAlign::bottom);
    }
    overlay.drawDateTime(surface, INT_MIN);
    overlay.drawDateTime(surface, INT_MAX);
    SUCCEED();
}

INSTANTIATE_TEST_SUITE_P(Sizes, OverlayTinyTest,
                         ::testing::Values(TinyCase{"OneByOne", 1, 1}, TinyCase{"TwoByOne", 2, 1},
                                           TinyCase{"OneByTwo", 1, 2},
                                           TinyCase{"FiveByThree", 5, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
