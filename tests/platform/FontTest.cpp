#include "platform/Font.h"

#include "platform/Surface.h"
#include "tests/support/SurfacePixels.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr int fontHeightPx = 11;
constexpr std::uint32_t white = 0x00FFFFFF;

bool allBlack(const Surface& surface) {
    return samePixels(surface, filled(surface.width(), surface.height(), {0, 0, 0}));
}

class FontTest : public ::testing::Test {
protected:
    // One font for the whole suite, as the program keeps one.
    static void SetUpTestSuite() { font = std::make_unique<Font>("Tahoma", fontHeightPx); }
    static void TearDownTestSuite() { font.reset(); }
    void SetUp() override { ASSERT_TRUE(font->isValid()) << "no font face installed"; }

    static inline std::unique_ptr<Font> font;
};

// Red text (0x000000FF) on green: every pixel lies between the two, some are fully red.
TEST_F(FontTest, TextIsTheColourBlendedOverTheUntouchedBackground) {
    Surface surface = filled(40, 20, {0, 200, 40});
    font->drawText(surface, "HELg", 2, 2, TextAlign::top, 0x000000FF);
    int untouched = 0;
    int full = 0;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            const Rgb pixel = pixelAt(surface, x, y);
            EXPECT_NEAR(pixel.red / 255.0 + pixel.green / 200.0, 1.0, 0.01) << x << "," << y;
            EXPECT_NEAR(pixel.blue * 5, pixel.green, 5) << x << "," << y;
            untouched += pixel.green == 200;
            full += pixel.red == 255;
        }
    }
    EXPECT_GT(untouched, 40 * 20 / 2);
    EXPECT_GT(full, 10);
}

// "H" stands on the baseline, ascentPx below the top of the cell; the bottom of a cell
// leaves descentPx for the descenders, so bottom alignment is top alignment one cell lower.
TEST_F(FontTest, TextSitsInItsCellAtTheTopOrTheBottom) {
    Surface top = filled(60, 40, {0, 0, 0});
    Surface bottom = filled(60, 40, {0, 0, 0});
    Surface capital = filled(60, 40, {0, 0, 0});
    const int cellPx = font->ascentPx() + font->descentPx();
    font->drawText(top, "Hgj|_(", 1, 5, TextAlign::top, white);
    font->drawText(bottom, "Hgj|_(", 1, 5 + cellPx, TextAlign::bottom, white);
    font->drawText(capital, "H", 1, 5, TextAlign::top, white);
    EXPECT_FALSE(allBlack(top));
    EXPECT_TRUE(samePixels(top, bottom));
    EXPECT_TRUE(samePixels(capital, filled(60, 40, {0, 0, 0}), 5 + font->ascentPx()));
    EXPECT_FALSE(samePixels(capital, filled(60, 40, {0, 0, 0}), 5 + font->ascentPx() - 1));
}

struct EncodingCase {
    const char* name;
    std::string text;
    std::string sameAs;
};

class FontEncodingTest : public FontTest, public ::testing::WithParamInterface<EncodingCase> {};

// UTF-8 draws its characters; bytes that are no UTF-8 are Latin-1 characters of their own.
TEST_P(FontEncodingTest, DrawsLikeItsEquivalent) {
    Surface drawn = filled(80, 20, {0, 0, 0});
    Surface expected = filled(80, 20, {0, 0, 0});
    font->drawText(drawn, GetParam().text, 1, 1, TextAlign::top, white);
    font->drawText(expected, GetParam().sameAs, 1, 1, TextAlign::top, white);
    EXPECT_FALSE(allBlack(drawn));
    EXPECT_TRUE(samePixels(drawn, expected));
}

INSTANTIATE_TEST_SUITE_P(
    Utf8, FontEncodingTest,
    ::testing::Values(EncodingCase{"LoneLatin1Byte", "caf\xE9", "caf\xC3\xA9"},
                      EncodingCase{"TruncatedSequence", "a\xC3", "a\xC3\x83"},
                      EncodingCase{"StrayContinuation", "\xA9x", "\xC2\xA9x"},
                      EncodingCase{"OverlongSlash", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
                      EncodingCase{"Surrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
                      EncodingCase{"BeyondUnicode", "\xF4\x90\x80\x80",
                                   "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
                      EncodingCase{"TextEndsAtZeroByte", std::string("AB\0CD", 5), "AB"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ClipCase {
    const char* name;
    int x;
    int y;
};

class FontClipTest : public FontTest, public ::testing::WithParamInterface<ClipCase> {};

// Drawing partly outside a small surface gives exactly the part of the same drawing made
// on a large surface that the small one would show.
TEST_P(FontClipTest, OutsidePartsAreCut) {
    constexpr int margin = 40;
    Surface small = filled(24, 9, {10, 20, 30});
    Surface large = filled(24 + 2 * margin, 9 + 2 * margin, {10, 20, 30});
    font->drawText(small, "Wg|Ej", GetParam().x, GetParam().y, TextAlign::top, white);
    font->drawText(large, "Wg|Ej", GetParam().x + margin, GetParam().y + margin, TextAlign::top,
                   white);
    bool anyInk = false;
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 24; ++x) {
            ASSERT_EQ(pixelAt(small, x, y), pixelAt(large, x + margin, y + margin))
                << x << "," << y;
            anyInk = anyInk || pixelAt(small, x, y).red != 10;
        }
    }
    EXPECT_TRUE(anyInk);
}

INSTANTIATE_TEST_SUITE_P(Edges, FontClipTest,
                         ::testing::Values(ClipCase{"TopLeftCut", -9, -4},
                                           ClipCase{"BothSidesCut", -8, 0},
                                           ClipCase{"RightCut", 15, -1},
                                           ClipCase{"BottomRightCut", 18, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FontFaces, AMissingFamilyGetsASubstituteAndNoFacesAtAllDrawNothing) {
    EXPECT_TRUE(Font("No Such Family At All", fontHeightPx).isValid());
    const std::filesystem::path config =
        std::filesystem::temp_directory_path() / "kavri-font-test-empty-fonts.conf";
    std::ofstream(config) << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
    ::setenv("FONTCONFIG_FILE", config.c_str(), 1);
    Font font("Tahoma", fontHeightPx);
    ::unsetenv("FONTCONFIG_FILE");
    std::filesystem::remove(config);
    EXPECT_FALSE(font.isValid());
    Surface surface = filled(40, 20, {0, 0, 0});
    font.drawText(surface, "Hello", 1, 1, TextAlign::top, white);
    EXPECT_TRUE(allBlack(surface));
}

} // namespace
