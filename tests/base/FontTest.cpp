#include "base/Font.h"

#include "tests/support/SurfacePixels.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// One font for the whole run, as the program keeps one.
Font& font() {
    static Font tahoma("Tahoma", 11);
    return tahoma;
}

Surface drawn(const std::string& text, int x, int y, TextAlign align = TextAlign::top) {
    Surface surface = filled(60, 40, {0, 0, 0});
    font().drawText(surface, text, x, y, align, 0x00FFFFFF);
    return surface;
}

// Red text (0x000000FF) on green: every pixel lies between the two, some are fully red.
TEST(FontTest, TextIsTheColourBlendedOverTheUntouchedBackground) {
    ASSERT_TRUE(font().isValid()) << "no font face installed";
    EXPECT_TRUE(Font("No Such Family At All", 11).isValid()) << "a substitute is found";
    Surface surface = filled(40, 20, {0, 200, 40});
    font().drawText(surface, "HELg", 2, 2, TextAlign::top, 0x000000FF);
    int untouched = 0, full = 0;
    for (int i = 0; i < 40 * 20; ++i) {
        const Rgb pixel = pixelAt(surface, i % 40, i / 40);
        EXPECT_NEAR(pixel.red / 255.0 + pixel.green / 200.0, 1.0, 0.01) << i;
        EXPECT_NEAR(pixel.blue * 5, pixel.green, 5) << i;
        untouched += pixel.green == 200;
        full += pixel.red == 255;
    }
    EXPECT_GT(untouched, 40 * 20 / 2);
    EXPECT_GT(full, 10);
}

// "H" stands on the baseline, ascentPx below the top of the cell; bottom alignment is top
// alignment one cell (ascent and descent) lower.
TEST(FontTest, TextSitsInItsCellAtTheTopOrTheBottom) {
    const int cellPx = font().ascentPx() + font().descentPx();
    const Surface top = drawn("Hgj|_(", 1, 5);
    EXPECT_FALSE(samePixels(top, filled(60, 40, {0, 0, 0})));
    EXPECT_TRUE(samePixels(top, drawn("Hgj|_(", 1, 5 + cellPx, TextAlign::bottom)));
    const Surface capital = drawn("H", 1, 5);
    EXPECT_TRUE(samePixels(capital, filled(60, 40, {0, 0, 0}), 5 + font().ascentPx()));
    EXPECT_FALSE(samePixels(capital, filled(60, 40, {0, 0, 0}), 5 + font().ascentPx() - 1));
}

// UTF-8 draws its characters; bytes that are no UTF-8 are Latin-1 characters of their own.
TEST(FontTest, TextDrawsLikeItsEquivalent) {
    using namespace std::string_literals;
    std::istringstream pairs(
        "caf\xE9 caf\xC3\xA9 a\xC3 a\xC3\x83 \xA9x \xC2\xA9x \xC0\xAF \xC3\x80\xC2\xAF "
        "\xED\xA0\x80 \xC3\xAD\xC2\xA0\xC2\x80 \xF4\x90\x80\x80 "
        "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80 AB\0CD AB"s);
    for (std::string text, sameAs; pairs >> text >> sameAs;) {
        EXPECT_TRUE(samePixels(drawn(text, 1, 1), drawn(sameAs, 1, 1))) << sameAs;
    }
}

// A camera or a file may claim any size; only one that fits memory gets the surface the
// text is drawn on, and a buffer must hold its rows of 3 pixels padded to 12 bytes.
TEST(SurfaceTest, SizesAndBuffersThatCannotHoldTheImageGiveNoSurface) {
    EXPECT_FALSE(Surface::create(-1, 10) || Surface::create(65536, 65536));
    EXPECT_TRUE(Surface::create(7680, 4320)) << "an 8K frame fits";
    EXPECT_TRUE(Surface::adopt(3, 2, std::vector<std::uint8_t>(10 + 24), 10));
    EXPECT_FALSE(Surface::adopt(3, 2, std::vector<std::uint8_t>(10 + 23), 10));
}

} // namespace
