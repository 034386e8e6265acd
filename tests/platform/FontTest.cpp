#include "platform/Font.h"

#include "platform/Surface.h"
#include "tests/support/SurfacePixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int fontHeightPx = 11;

// Rows [first, last] that hold any non-black pixel; nullopt when all are black.
std::optional<std::pair<int, int>> inkedRows(const Surface& surface) {
    std::optional<std::pair<int, int>> rows;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            const Rgb pixel = pixelAt(surface, x, y);
            if (pixel.red + pixel.green + pixel.blue > 0) {
                rows = rows ? std::pair{rows->first, y} : std::pair{y, y};
                break;
            }
        }
    }
    return rows;
}

bool allBlack(const Surface& surface) {
    return !inkedRows(surface).has_value();
}

class FontTest : public ::testing::Test {
protected:
    // One font for the whole suite, as the program keeps one: its face is looked up once.
    static void SetUpTestSuite() { font = std::make_unique<Font>("Tahoma", fontHeightPx); }
    static void TearDownTestSuite() { font.reset(); }
    void SetUp() override { ASSERT_TRUE(font->isValid()) << "no font face installed"; }

    static inline std::unique_ptr<Font> font;
};

TEST_F(FontTest, CellIsAboutOneAndAHalfEmHigh) {
    EXPECT_GT(font->ascentPx(), font->descentPx());
    EXPECT_GT(font->descentPx(), 0);
    EXPECT_GE(font->ascentPx() + font->descentPx(), fontHeightPx);
    EXPECT_LE(font->ascentPx() + font->descentPx(), fontHeightPx * 3 / 2);
}

TEST_F(FontTest, MissingFamilyGetsASubstitute) {
    const Font substitute("No Such Family At All", fontHeightPx);
    EXPECT_TRUE(substitute.isValid());
}

TEST_F(FontTest, RepeatedCharactersShareOneRenderedGlyph) {
    const Font::Line first = font->layout("AbA");
    const Font::Line again = font->layout("A");
    ASSERT_EQ(first.size(), 3u);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(first[0].glyph, first[2].glyph);
    EXPECT_EQ(first[0].glyph, again[0].glyph);
    EXPECT_NE(first[0].glyph, first[1].glyph);
    EXPECT_EQ(first[1].penX, first[0].glyph->advance);
}

TEST_F(FontTest, FullCoverageGivesTheColourInBlueGreenRedOrder) {
    Surface surface = filled(40, 20, {0, 0, 0});
    font->drawText(surface, "HEL", 2, 2, TextAlign::top, 0x00F08020);
    int full = 0;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            const Rgb pixel = pixelAt(surface, x, y);
            // Partly covered pixels are the same colour scaled towards black.
            EXPECT_LE(pixel.red, 0x20);
            EXPECT_LE(pixel.green, 0x80);
            EXPECT_LE(pixel.blue, 0xF0);
            EXPECT_NEAR(pixel.green * 0xF0, pixel.blue * 0x80, 0xF0 * 2);
            full += pixel.red == 0x20 && pixel.green == 0x80 && pixel.blue == 0xF0;
        }
    }
    EXPECT_GT(full, 10);
}

TEST_F(FontTest, BackgroundIsTransparentAndCoverageBlended) {
    const Rgb background{0, 200, 40};
    Surface surface = filled(40, 20, background);
    font->drawText(surface, "Ag", 2, 2, TextAlign::top, 0x000000FF);
    int untouched = 0;
    int blended = 0;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            const Rgb pixel = pixelAt(surface, x, y);
            // Every pixel lies between the background and the red text colour.
            EXPECT_NEAR(pixel.red / 255.0 + pixel.green / 200.0, 1.0, 0.01) << x << "," << y;
            EXPECT_NEAR(pixel.blue * 5, pixel.green, 5) << x << "," << y;
            untouched += pixel.green == 200;
            blended += pixel.red > 0 && pixel.red < 255;
        }
    }
    EXPECT_GT(untouched, 40 * 20 / 2);
    EXPECT_GT(blended, 0);
}

TEST_F(FontTest, CharactersTheFaceLacksShareOneGlyph) {
    // Two private-use characters, which no face here maps.
    const Font::Line line = font->layout("\xEE\x80\x80\xF4\x8F\xBF\xBD");
    ASSERT_EQ(line.size(), 2u);
    EXPECT_EQ(line[0].glyph, line[1].glyph);
    EXPECT_GT(line[0].glyph->advance, 0);
}

struct AlignmentCase {
    const char* name;
    TextAlign align;
    int y;
};

class FontAlignmentTest : public FontTest, public ::testing::WithParamInterface<AlignmentCase> {};

// "H" stands on the baseline, which lies ascentPx below the top of the cell and descentPx
// above its bottom.
TEST_P(FontAlignmentTest, CapitalStandsOnTheBaselineOfTheCell) {
    const AlignmentCase& row = GetParam();
    Surface surface = filled(30, 60, {0, 0, 0});
    font->drawText(surface, "H", 3, row.y, row.align, 0x00FFFFFF);
    const int baseline =
        row.align == TextAlign::top ? row.y + font->ascentPx() : row.y - font->descentPx();
    const auto rows = inkedRows(surface);
    ASSERT_TRUE(rows.has_value());
    EXPECT_EQ(rows->second, baseline - 1);
    EXPECT_GT(rows->first, baseline - 1 - font->ascentPx());
}

INSTANTIATE_TEST_SUITE_P(Cell, FontAlignmentTest,
                         ::testing::Values(AlignmentCase{"TopAtZero", TextAlign::top, 0},
                                           AlignmentCase{"TopAtTwenty", TextAlign::top, 20},
                                           AlignmentCase{"BottomAtTwenty", TextAlign::bottom, 20},
                                           AlignmentCase{"BottomAtSixty", TextAlign::bottom, 60}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FontTest, BottomAlignmentIsTopAlignmentOneCellLower) {
    Surface top = filled(60, 40, {0, 0, 0});
    Surface bottom = filled(60, 40, {0, 0, 0});
    const int cellPx = font->ascentPx() + font->descentPx();
    font->drawText(top, "Hgj|_(", 1, 5, TextAlign::top, 0x00FFFFFF);
    font->drawText(bottom, "Hgj|_(", 1, 5 + cellPx, TextAlign::bottom, 0x00FFFFFF);
    EXPECT_FALSE(allBlack(top));
    EXPECT_TRUE(samePixels(top, bottom));
}

struct EncodingCase {
    const char* name;
    std::string text;
    std::string sameAs;
};

class FontEncodingTest : public FontTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(FontEncodingTest, DrawsLikeItsEquivalent) {
    const EncodingCase& row = GetParam();
    Surface drawn = filled(80, 20, {0, 0, 0});
    Surface expected = filled(80, 20, {0, 0, 0});
    font->drawText(drawn, row.text, 1, 1, TextAlign::top, 0x00FFFFFF);
    font->drawText(expected, row.sameAs, 1, 1, TextAlign::top, 0x00FFFFFF);
    EXPECT_FALSE(allBlack(drawn));
    EXPECT_TRUE(samePixels(drawn, expected));
    EXPECT_EQ(font->layout(row.text).size(), font->layout(row.sameAs).size());
}

INSTANTIATE_TEST_SUITE_P(
    Utf8, FontEncodingTest,
    ::testing::Values(EncodingCase{"LoneLatin1Byte", "caf\xE9", "caf\xC3\xA9"},
                      EncodingCase{"TruncatedSequence", "a\xC3", "a\xC3\x83"},
                      EncodingCase{"LeadFollowedByAscii",
                                   "\xC3"
                                   "A",
                                   "\xC3\x83"
                                   "A"},
                      EncodingCase{"StrayContinuation",
                                   "\xA9"
                                   "x",
                                   "\xC2\xA9"
                                   "x"},
                      EncodingCase{"OverlongSlash", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
                      EncodingCase{"Surrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
                      EncodingCase{"BeyondUnicode", "\xF4\x90\x80\x80",
                                   "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
                      EncodingCase{"TextEndsAtZeroByte", std::string("AB\0CD", 5), "AB"},
                      EncodingCase{"ValidTwoByte", "\xC3\x8A", "\xC3\x8A"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FontTest, LineBreakStaysOnOneLine) {
    Surface surface = filled(80, 60, {0, 0, 0});
    font->drawText(surface, "A\nB\r\nC", 1, 10, TextAlign::top, 0x00FFFFFF);
    const auto rows = inkedRows(surface);
    ASSERT_TRUE(rows.has_value());
    EXPECT_GE(rows->first, 10);
    EXPECT_LT(rows->second, 10 + font->ascentPx() + font->descentPx());

    // All three letters are there, side by side.
    const Font::Line line = font->layout("A\nB\r\nC");
    ASSERT_EQ(line.size(), 6u);
    EXPECT_GT(line.back().penX, font->layout("AB").back().penX);
}

struct ClipCase {
    const char* name;
    int x;
    int y;
};

class FontClipTest : public FontTest, public ::testing::WithParamInterface<ClipCase> {};

// Drawing partly outside a small surface gives exactly the part of the same drawing made
// on a large surface that the small one would show.
TEST_P(FontClipTest, OutsidePartsAreCut) {
    const ClipCase& row = GetParam();
    constexpr int margin = 40;
    constexpr int width = 24;
    constexpr int height = 9;
    Surface small = filled(width, height, {10, 20, 30});
    Surface large = filled(width + 2 * margin, height + 2 * margin, {10, 20, 30});
    font->drawText(small, "Wg|Ej", row.x, row.y, TextAlign::top, 0x00FFFFFF);
    font->drawText(large, "Wg|Ej", row.x + margin, row.y + margin, TextAlign::top, 0x00FFFFFF);
    bool anyInk = false;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb got = pixelAt(small, x, y);
            const Rgb want = pixelAt(large, x + margin, y + margin);
            ASSERT_EQ(got.red, want.red) << x << "," << y;
            ASSERT_EQ(got.green, want.green) << x << "," << y;
            ASSERT_EQ(got.blue, want.blue) << x << "," << y;
            anyInk = anyInk || got.red != 10;
        }
    }
    EXPECT_TRUE(anyInk);
}

INSTANTIATE_TEST_SUITE_P(Edges, FontClipTest,
                         ::testing::Values(ClipCase{"Inside", 1, 0}, ClipCase{"LeftCut", -6, 0},
                                           ClipCase{"TopCut", 2, -5},
                                           ClipCase{"TopLeftCut", -9, -4},
                                           ClipCase{"RightCut", 15, -1},
                                           ClipCase{"BottomCut", 0, 4},
                                           ClipCase{"BottomRightCut", 18, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FontTest, FarAwayOrTinyTargetsDrawNothingAndDoNotFail) {
    const std::vector<std::pair<int, int>> places{
        {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, 0}, {0, INT_MAX}, {-1000, 0}};
    for (const TextAlign align : {TextAlign::top, TextAlign::bottom}) {
        for (const auto& [x, y] : places) {
            Surface surface = filled(4, 4, {0, 0, 0});
            font->drawText(surface, "Wg|", x, y, align, 0x00FFFFFF);
            EXPECT_TRUE(allBlack(surface)) << x << "," << y;
        }
    }
    Surface pixel = filled(1, 1, {0, 0, 0});
    for (int offset = -12; offset <= 2; ++offset) {
        font->drawText(pixel, "\xE2\x96\x88\xE2\x96\x88", offset, offset, TextAlign::top,
                       0x00FFFFFF);
    }
    EXPECT_EQ(pixelAt(pixel, 0, 0).red, 255);
}

TEST(FontWithoutFaces, DrawsNothing) {
    const std::filesystem::path config =
        std::filesystem::temp_directory_path() / "kavri-font-test-empty-fonts.conf";
    std::ofstream(config) << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
    const char* previous = std::getenv("FONTCONFIG_FILE");
    const std::optional<std::string> saved =
        previous ? std::optional<std::string>(previous) : std::nullopt;
    ::setenv("FONTCONFIG_FILE", config.c_str(), 1);
    Font font("Tahoma", fontHeightPx);
    if (saved) {
        ::setenv("FONTCONFIG_FILE", saved->c_str(), 1);
    } else {
        ::unsetenv("FONTCONFIG_FILE");
    }
    std::filesystem::remove(config);

    EXPECT_FALSE(font.isValid());
    EXPECT_TRUE(font.layout("Hello").empty());
    Surface surface = filled(40, 20, {0, 0, 0});
    font.drawText(surface, "Hello", 1, 1, TextAlign::top, 0x00FFFFFF);
    EXPECT_TRUE(allBlack(surface));
}

TEST(FontWithoutSize, DrawsNothing) {
    Font font("Tahoma", 0);
    EXPECT_FALSE(font.isValid());
    Surface surface = filled(40, 20, {0, 0, 0});
    font.drawText(surface, "Hello", 1, 1, TextAlign::top, 0x00FFFFFF);
    EXPECT_TRUE(allBlack(surface));
}

} // namespace
