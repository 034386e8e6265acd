#include "image/Dib.h"

#include "platform/Surface.h"
#include "tests/support/DibBuilder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string hex(std::uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", rgb);
    return text;
}

// The surface's pixels as 0xRRGGBB texts, top row first, for readable comparisons.
std::vector<std::string> pixelsOf(const Surface& surface) {
    std::vector<std::string> pixels;
    for (int y = 0; y < surface.height(); ++y) {
        const std::uint8_t* row = surface.rowFromTop(y);
        for (int x = 0; x < surface.width(); ++x) {
            pixels.push_back(hex(row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x]));
        }
    }
    return pixels;
}

// Loads the file and paints it into a surface of its own size.
std::optional<Surface> paintFile(const std::string& path) {
    const Dib dib(path);
    if (!dib.isValid()) {
        return std::nullopt;
    }
    auto surface = Surface::create(dib.width(), dib.height());
    if (!surface || !dib.paint(*surface)) {
        return std::nullopt;
    }
    return surface;
}

// A raw pixel value and the colour a true-colour screen shows for it.
struct Swatch {
    std::uint32_t raw;
    std::uint32_t rgb;
};

struct Format {
    std::string name;
    std::uint16_t bitCount;
    std::uint32_t compression = Dib::biRgb;
    std::optional<std::array<std::uint32_t, 3>> masks;
    std::vector<std::uint32_t> palette;
    std::vector<Swatch> swatches;
};

std::vector<std::uint32_t> grey16() {
    std::vector<std::uint32_t> palette;
    for (std::uint32_t i = 0; i < 16; ++i) {
        palette.push_back(0x110000 * i + 0x001100 * (15 - i) + 0x07);
    }
    return palette;
}

std::vector<std::uint32_t> ramp256() {
    std::vector<std::uint32_t> palette;
    for (std::uint32_t i = 0; i < 256; ++i) {
        palette.push_back(i << 16 | (255 - i) << 8 | (i * 7 & 0xFF));
    }
    return palette;
}

const std::vector<Format>& formats() {
    static const std::vector<Format> all = {
        {"Bits1", 1, Dib::biRgb, {}, {0x102030, 0xF0E0D0}, {{0, 0x102030}, {1, 0xF0E0D0}}},
        {"Bits4",
         4,
         Dib::biRgb,
         {},
         grey16(),
         {{0, 0x00FF07}, {5, 0x55AA07}, {10, 0xAA5507}, {15, 0xFF0007}, {9, 0x996607}}},
        {"Bits8",
         8,
         Dib::biRgb,
         {},
         ramp256(),
         {{0, 0x00FF00}, {1, 0x01FE07}, {127, 0x7F8079}, {200, 0xC83778}, {255, 0xFF00F9}}},
        // 5-5-5: each 5-bit field abcde is shown as abcdeabc.
        {"Bits16Rgb555",
         16,
         Dib::biRgb,
         {},
         {},
         {{0x7C00, 0xFF0000},
          {0x03E0, 0x00FF00},
          {0x001F, 0x0000FF},
          {0x4210, 0x848484},
          {0x0421, 0x080808},
          {0x8000, 0x000000}}},
        {"Bits16Bitfields565",
         16,
         Dib::biBitfields,
         std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F},
         {},
         {{0xF800, 0xFF0000},
          {0x07E0, 0x00FF00},
          {0x001F, 0x0000FF},
          {0x8410, 0x848284},
          {0x0821, 0x080408}}},
        {"Bits16Bitfields444",
         16,
         Dib::biBitfields,
         std::array<std::uint32_t, 3>{0x0F00, 0x00F0, 0x000F},
         {},
         {{0x0F00, 0xFF0000}, {0x0A50, 0xAA5500}, {0xF00F, 0x0000FF}, {0x0123, 0x112233}}},
        {"Bits24",
         24,
         Dib::biRgb,
         {},
         {},
         {{0x000000, 0x000000},
          {0xFFFFFF, 0xFFFFFF},
          {0x123456, 0x123456},
          {0xFF0000, 0xFF0000},
          {0x00FF00, 0x00FF00},
          {0x0000FF, 0x0000FF},
          {0x89ABCD, 0x89ABCD}}},
        {"Bits32Rgb",
         32,
         Dib::biRgb,
         {},
         {},
         {{0xAB123456, 0x123456},
          {0x00FF0000, 0xFF0000},
          {0xFF000000, 0x000000},
          {0x000000FF, 0x0000FF}}},
        {"Bits32BitfieldsBgrx",
         32,
         Dib::biBitfields,
         std::array<std::uint32_t, 3>{0x00FF0000, 0x0000FF00, 0x000000FF},
         {},
         {{0x77123456, 0x123456}, {0x000000FF, 0x0000FF}}},
        {"Bits32BitfieldsRgbx",
         32,
         Dib::biBitfields,
         std::array<std::uint32_t, 3>{0x000000FF, 0x0000FF00, 0x00FF0000},
         {},
         {{0x00563412, 0x123456}, {0xFF0000FF, 0xFF0000}}},
        // 10-bit fields keep their top 8 bits.
        {"Bits32Bitfields101010",
         32,
         Dib::biBitfields,
         std::array<std::uint32_t, 3>{0x3FF00000, 0x000FFC00, 0x000003FF},
         {},
         {{0x3FF00000, 0xFF0000}, {0x200400FF, 0x80403F}, {0xC0000000, 0x000000}}},
    };
    return all;
}

struct Layout {
    std::string name;
    bool fileHeader;
    bool coreHeader;
    bool topDown;
};

const std::vector<Layout> layouts = {
    {"FileInfo", true, false, false},       {"PackedInfo", false, false, false},
    {"FileInfoTopDown", true, false, true}, {"PackedInfoTopDown", false, false, true},
    {"FileCore", true, true, false},        {"PackedCore", false, true, false},
};

struct Variant {
    Format format;
    Layout layout;
};

std::vector<Variant> variants() {
    std::vector<Variant> all;
    for (const auto& format : formats()) {
        for (const auto& layout : layouts) {
            // A core header has no compression field, so it cannot carry bit fields.
            if (!(layout.coreHeader && format.compression == Dib::biBitfields)) {
                all.push_back({format, layout});
            }
        }
    }
    return all;
}

constexpr int sceneWidth = 5;
constexpr int sceneHeight = 3;

// A 5x3 picture (odd width, so every row is padded) of the format's swatches.
DibBuilder scene(const Variant& variant) {
    const Format& format = variant.format;
    DibBuilder dib(sceneWidth, variant.layout.topDown ? -sceneHeight : sceneHeight,
                   format.bitCount);
    dib.fileHeader = variant.layout.fileHeader;
    dib.coreHeader = variant.layout.coreHeader;
    dib.compression = format.compression;
    dib.masks = format.masks;
    dib.palette = format.palette;
    dib.fill([&](int x, int y) {
        return format.swatches[static_cast<std::size_t>(x + 2 * y) % format.swatches.size()].raw;
    });
    return dib;
}

std::vector<std::string> expectedScene(const Format& format) {
    std::vector<std::string> pixels;
    for (int y = 0; y < sceneHeight; ++y) {
        for (int x = 0; x < sceneWidth; ++x) {
            pixels.push_back(hex(
                format.swatches[static_cast<std::size_t>(x + 2 * y) % format.swatches.size()].rgb));
        }
    }
    return pixels;
}

class DibVariantTest : public testing::TestWithParam<Variant> {
protected:
    TempDir dir;
};

TEST_P(DibVariantTest, PaintsTheExpectedPixelsUpright) {
    const std::string path = dir.file("frame.dib");
    scene(GetParam()).writeTo(path);

    const Dib dib(path);
    ASSERT_TRUE(dib.isValid());
    EXPECT_EQ(dib.width(), sceneWidth);
    EXPECT_EQ(dib.height(), sceneHeight);
    auto surface = Surface::create(dib.width(), dib.height());
    ASSERT_TRUE(dib.paint(*surface));
    EXPECT_EQ(pixelsOf(*surface), expectedScene(GetParam().format));
}

TEST_P(DibVariantTest, PixelsAreTakenOverOnlyWhereTheyAreLaidOutAsASurface) {
    const std::string path = dir.file("frame.dib");
    scene(GetParam()).writeTo(path);
    const bool surfaceLayout = GetParam().format.bitCount == 24 && !GetParam().layout.topDown;

    Dib dib(path);
    std::optional<Surface> taken = dib.takeSurface();
    ASSERT_EQ(taken.has_value(), surfaceLayout);
    if (taken) {
        EXPECT_EQ(pixelsOf(*taken), expectedScene(GetParam().format));
        EXPECT_FALSE(dib.isValid()) << "the pixels have moved to the surface";
    } else {
        ASSERT_TRUE(dib.isValid()) << "a Dib that keeps its pixels can still be painted";
        auto surface = Surface::create(dib.width(), dib.height());
        ASSERT_TRUE(dib.paint(*surface));
        EXPECT_EQ(pixelsOf(*surface), expectedScene(GetParam().format));
    }
}

TEST_P(DibVariantTest, EveryTruncationFailsCleanly) {
    const std::vector<std::uint8_t> bytes = scene(GetParam()).bytes();
    const std::string path = dir.file("cut.dib");
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        DibBuilder::writeFile(path,
                              {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)});
        EXPECT_FALSE(Dib(path).isValid()) << "cut at " << size << " of " << bytes.size();
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, DibVariantTest, testing::ValuesIn(variants()),
                         [](const testing::TestParamInfo<Variant>& info) {
                             return info.param.format.name + "_" + info.param.layout.name;
                         });

class DibTest : public testing::Test {
protected:
    TempDir dir;
};

TEST_F(DibTest, FileWithoutBmIsReadAsPackedDibFromOffsetZero) {
    DibBuilder withHeader(3, 2, 24);
    withHeader.fill(
        [](int x, int y) { return 0x102030u * static_cast<std::uint32_t>(x + 3 * y + 1); });
    DibBuilder packed = withHeader;
    packed.fileHeader = false;
    withHeader.writeTo(dir.file("file.dib"));
    packed.writeTo(dir.file("packed.dib"));

    const auto fromFile = Dib::loadFile(dir.file("file.dib"));
    const auto fromPacked = Dib::loadFile(dir.file("packed.dib"));
    ASSERT_FALSE(fromPacked.empty());
    EXPECT_EQ(fromPacked, fromFile);
}

TEST_F(DibTest, BfOffBitsSkipsTheBytesAfterTheColourTable) {
    DibBuilder dib(7, 4, 8);
    dib.palette = ramp256();
    dib.gapBytes = 922;
    dib.fill([](int x, int y) { return static_cast<std::uint32_t>(37 * x + 11 * y); });
    ASSERT_EQ(14u + 40u + 256u * 4u, 1078u);
    ASSERT_EQ(dib.pixelOffset(), 2000u);
    dib.writeTo(dir.file("gap.dib"));

    DibBuilder plain = dib;
    plain.gapBytes = 0;
    plain.writeTo(dir.file("plain.dib"));

    const auto gapped = paintFile(dir.file("gap.dib"));
    const auto reference = paintFile(dir.file("plain.dib"));
    ASSERT_TRUE(gapped && reference);
    EXPECT_EQ(pixelsOf(*gapped), pixelsOf(*reference));
    EXPECT_EQ(pixelsOf(*gapped)[1], hex(0x25DA03)); // index 37 at (1, 0)
}

TEST_F(DibTest, ZeroImageSizeIsComputedFromThePaddedRows) {
    DibBuilder dib(101, 10, 24);
    dib.sizeImage = 0;
    dib.writeTo(dir.file("zero.dib"));

    const auto block = Dib::loadFile(dir.file("zero.dib"));
    Dib::InfoHeader header;
    ASSERT_TRUE(Dib::getInfo(block, header));
    EXPECT_EQ(header.biSizeImage, 3040u);
    EXPECT_EQ(block.size(), 40u + 3040u);
}

TEST_F(DibTest, CoreHeaderBecomesInfoHeaderWithFourByteTable) {
    DibBuilder dib(6, 2, 8);
    dib.coreHeader = true;
    dib.palette = ramp256();
    dib.writeTo(dir.file("core.dib"));

    const auto block = Dib::loadFile(dir.file("core.dib"));
    Dib::InfoHeader header;
    ASSERT_TRUE(Dib::getInfo(block, header));
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 6);
    EXPECT_EQ(header.biHeight, 2);
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biClrUsed, 256u);
    EXPECT_EQ(header.biClrImportant, 256u);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, 16u);
    ASSERT_EQ(block.size(), 40u + 256u * 4u + 16u);
    for (std::size_t i : {0u, 1u, 128u, 255u}) {
        const std::uint32_t color = ramp256()[i];
        const std::array<std::uint8_t, 4> expected{static_cast<std::uint8_t>(color),
                                                   static_cast<std::uint8_t>(color >> 8),
                                                   static_cast<std::uint8_t>(color >> 16), 0};
        EXPECT_EQ((std::array<std::uint8_t, 4>{block[40 + 4 * i], block[41 + 4 * i],
                                               block[42 + 4 * i], block[43 + 4 * i]}),
                  expected)
            << "entry " << i;
    }
}

TEST_F(DibTest, SmallCoreHeaderFileShorterThanAnInfoHeaderLoads) {
    DibBuilder dib(1, 1, 24);
    dib.coreHeader = true;
    dib.fileHeader = false;
    dib.setPixel(0, 0, 0xA1B2C3);
    ASSERT_LT(dib.bytes().size(), 40u);
    dib.writeTo(dir.file("tiny.dib"));

    const auto surface = paintFile(dir.file("tiny.dib"));
    ASSERT_TRUE(surface);
    EXPECT_EQ(pixelsOf(*surface), std::vector<std::string>{"A1B2C3"});
}

struct PaletteCase {
    std::string name;
    std::uint16_t bitCount;
    std::vector<std::uint32_t> table;
    std::optional<std::size_t> entries;
};

class DibPaletteTest : public testing::TestWithParam<PaletteCase> {
protected:
    TempDir dir;
};

TEST_P(DibPaletteTest, HasTheExpectedEntries) {
    DibBuilder dib(2, 2, GetParam().bitCount);
    dib.palette = GetParam().table;
    dib.writeTo(dir.file("palette.dib"));
    const auto palette = Dib::createPalette(Dib::loadFile(dir.file("palette.dib")));
    ASSERT_EQ(palette.has_value(), GetParam().entries.has_value());
    if (!palette) {
        return;
    }
    ASSERT_EQ(palette->size(), *GetParam().entries);
    for (std::size_t i = 0; i < GetParam().table.size(); ++i) {
        const auto& entry = (*palette)[i];
        EXPECT_EQ(hex(entry.red << 16 | entry.green << 8 | entry.blue), hex(GetParam().table[i]));
        EXPECT_EQ(entry.flags, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Depths, DibPaletteTest,
    testing::Values(PaletteCase{"Bits16WithoutTableHasNone", 16, {}, std::nullopt},
                    PaletteCase{"Bits32WithoutTableHasNone", 32, {}, std::nullopt},
                    PaletteCase{"Bits24WithoutTableHasFixed256", 24, {}, 256},
                    PaletteCase{"Bits8UsesItsTable", 8, {0x010203, 0xFFEEDD, 0x808080}, 3},
                    PaletteCase{"Bits24WithTableUsesIt", 24, {0x112233}, 1}),
    [](const testing::TestParamInfo<PaletteCase>& info) { return info.param.name; });

TEST_F(DibTest, FixedPaletteHasEightLevelsOfRedAndGreenAndFourOfBlue) {
    DibBuilder dib(2, 2, 24);
    dib.writeTo(dir.file("true.dib"));
    const auto palette = Dib::createPalette(Dib::loadFile(dir.file("true.dib")));
    ASSERT_TRUE(palette);
    const auto rgb = [&](std::size_t i) {
        const auto& entry = (*palette)[i];
        return hex(entry.red << 16 | entry.green << 8 | entry.blue);
    };
    EXPECT_EQ(rgb(0), "000000");
    EXPECT_EQ(rgb(1), "200000");
    EXPECT_EQ(rgb(9), "202000");
    EXPECT_EQ(rgb(63), "E0E000");
    EXPECT_EQ(rgb(64), "000040");
    EXPECT_EQ(rgb(255), "E0E0C0");
}

struct CountCase {
    std::string name;
    Dib::InfoHeader header;
    std::uint16_t colors;
    std::size_t tableBytes;
};

class DibColorCountTest : public testing::TestWithParam<CountCase> {};

TEST_P(DibColorCountTest, FollowsTheHeader) {
    EXPECT_EQ(Dib::colorCount(GetParam().header), GetParam().colors);
    EXPECT_EQ(Dib::colorTableSize(GetParam().header), GetParam().tableBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DibColorCountTest,
    testing::Values(
        CountCase{"Info1Bit", {.biSize = 40, .biBitCount = 1}, 2, 8},
        CountCase{"Info4Bit", {.biSize = 40, .biBitCount = 4}, 16, 64},
        CountCase{"Info8Bit", {.biSize = 40, .biBitCount = 8}, 256, 1024},
        CountCase{"Info16Bit", {.biSize = 40, .biBitCount = 16}, 0, 0},
        CountCase{"Info24Bit", {.biSize = 40, .biBitCount = 24}, 0, 0},
        CountCase{"Info32Bit", {.biSize = 40, .biBitCount = 32}, 0, 0},
        CountCase{"InfoClrUsedWins", {.biSize = 40, .biBitCount = 8, .biClrUsed = 5}, 5, 20},
        CountCase{"InfoClrUsedOn24Bit", {.biSize = 40, .biBitCount = 24, .biClrUsed = 7}, 7, 28},
        CountCase{
            "InfoClrUsedCutTo16Bits", {.biSize = 40, .biBitCount = 8, .biClrUsed = 0x10005}, 5, 20},
        CountCase{
            "InfoClrUsed65536IsZero", {.biSize = 40, .biBitCount = 8, .biClrUsed = 0x10000}, 0, 0},
        CountCase{"CoreIgnoresClrUsed", {.biSize = 12, .biBitCount = 8, .biClrUsed = 5}, 256, 768},
        CountCase{"Core1Bit", {.biSize = 12, .biBitCount = 1}, 2, 6}),
    [](const testing::TestParamInfo<CountCase>& info) { return info.param.name; });

// Files that must not give an image. Each row changes a valid 8-bit or 24-bit file.
struct HostileCase {
    std::string name;
    std::uint16_t bitCount;
    std::function<void(DibBuilder&)> change;
};

class DibHostileTest : public testing::TestWithParam<HostileCase> {
protected:
    TempDir dir;
};

TEST_P(DibHostileTest, GivesNoImage) {
    DibBuilder dib(4, 3, GetParam().bitCount);
    if (GetParam().bitCount <= 8) {
        dib.palette = {0x000000, 0xFFFFFF};
    }
    GetParam().change(dib);
    const std::string path = dir.file("hostile.dib");
    dib.writeTo(path);

    const Dib image(path);
    EXPECT_FALSE(image.isValid());
    auto surface = Surface::create(4, 3);
    EXPECT_FALSE(image.paint(*surface));
    EXPECT_EQ(pixelsOf(*surface), std::vector<std::string>(12, "000000"));
}

INSTANTIATE_TEST_SUITE_P(
    BrokenHeaders, DibHostileTest,
    testing::Values(
        HostileCase{"HeaderSize108", 24, [](DibBuilder& d) { d.headerSizeField = 108; }},
        HostileCase{"HeaderSize124", 24, [](DibBuilder& d) { d.headerSizeField = 124; }},
        HostileCase{"HeaderSize0", 24, [](DibBuilder& d) { d.headerSizeField = 0; }},
        HostileCase{"HeaderSize64", 24, [](DibBuilder& d) { d.headerSizeField = 64; }},
        HostileCase{"WidthZero", 24, [](DibBuilder& d) { d.widthField = 0; }},
        HostileCase{"HeightZero", 24, [](DibBuilder& d) { d.heightField = 0; }},
        HostileCase{"NegativeWidth", 24, [](DibBuilder& d) { d.widthField = -4; }},
        HostileCase{"HeightMinimum", 24, [](DibBuilder& d) { d.heightField = INT32_MIN; }},
        HostileCase{"HugeSides", 24,
                    [](DibBuilder& d) {
                        d.widthField = INT32_MAX;
                        d.heightField = INT32_MAX;
                    }},
        HostileCase{"ProductOverflows32Bits", 8,
                    [](DibBuilder& d) {
                        d.widthField = 65536;
                        d.heightField = 65537;
                        d.sizeImage = 0;
                    }},
        HostileCase{"WrappedImageSize", 24,
                    [](DibBuilder& d) {
                        // 3 x 0x55555556 bytes per row wraps to a small 32-bit number.
                        d.widthField = 0x55555556;
                        d.sizeImage = 0;
                    }},
        HostileCase{"ImageSizeBeyondFile", 24, [](DibBuilder& d) { d.sizeImage = 0xFFFFFFFF; }},
        HostileCase{"ImageSizeBelowRows", 24, [](DibBuilder& d) { d.sizeImage = 4; }},
        HostileCase{"OffBitsBeyondEnd", 24, [](DibBuilder& d) { d.offBits = 1000000; }},
        HostileCase{"OffBitsMaximum", 24, [](DibBuilder& d) { d.offBits = 0xFFFFFFFF; }},
        HostileCase{"ClrUsedBeyondFile", 1, [](DibBuilder& d) { d.clrUsed = 0xFFFF; }},
        HostileCase{"ClrUsed65536LeavesNoTable", 8, [](DibBuilder& d) { d.clrUsed = 0x10000; }},
        HostileCase{"Planes2", 24, [](DibBuilder& d) { d.planes = 2; }},
        HostileCase{"Planes0", 24, [](DibBuilder& d) { d.planes = 0; }},
        HostileCase{"BitCount0", 24, [](DibBuilder& d) { d.bitCount = 0; }},
        HostileCase{"BitCount2", 8, [](DibBuilder& d) { d.bitCount = 2; }},
        HostileCase{"BitCount7", 8, [](DibBuilder& d) { d.bitCount = 7; }},
        HostileCase{"BitCount64", 24, [](DibBuilder& d) { d.bitCount = 64; }},
        HostileCase{"Rle8", 8, [](DibBuilder& d) { d.compression = 1; }},
        HostileCase{"Rle4", 8,
                    [](DibBuilder& d) {
                        d.bitCount = 4;
                        d.compression = 2;
                    }},
        HostileCase{"FourccYuy2", 24,
                    [](DibBuilder& d) {
                        d.bitCount = 16;
                        d.compression = 0x32595559;
                    }},
        HostileCase{"Jpeg", 24, [](DibBuilder& d) { d.compression = 4; }},
        HostileCase{"BitfieldsOn24Bits", 24,
                    [](DibBuilder& d) {
                        d.compression = Dib::biBitfields;
                        d.masks = std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
                    }},
        HostileCase{"BitfieldsOn8Bits", 8,
                    [](DibBuilder& d) {
                        d.compression = Dib::biBitfields;
                        d.masks = std::array<std::uint32_t, 3>{0xE0, 0x1C, 0x03};
                    }},
        HostileCase{"NonContiguousMask", 24,
                    [](DibBuilder& d) {
                        d.bitCount = 16;
                        d.compression = Dib::biBitfields;
                        d.masks = std::array<std::uint32_t, 3>{0xF00F, 0x00F0, 0x0F00};
                    }}),
    [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

TEST_F(DibTest, SidesBeyondASurfaceAreRefusedBeforeThePixelsAreRead) {
    // 32768 x 16384 at 1 bit is a 64 MiB file but would need a 1.5 GiB surface.
    DibBuilder dib(1, 1, 1);
    dib.palette = {0x000000, 0xFFFFFF};
    dib.widthField = 32768;
    dib.heightField = 16384;
    dib.sizeImage = 0;
    const std::string path = dir.file("huge.dib");
    dib.writeTo(path);
    std::filesystem::resize_file(path, dib.pixelOffset() + std::uintmax_t{4096} * 16384);

    EXPECT_TRUE(Dib::loadFile(path).empty());
    EXPECT_FALSE(Dib(path).isValid());
}

TEST_F(DibTest, MissingFileGivesAnEmptyInvalidDib) {
    const Dib dib(dir.file("absent.dib"));
    EXPECT_FALSE(dib.isValid());
    EXPECT_EQ(dib.width(), 0);
    EXPECT_EQ(dib.height(), 0);
    auto surface = Surface::create(2, 2);
    EXPECT_FALSE(dib.paint(*surface));
}

TEST_F(DibTest, DirectoryAndFifoAreNotImages) {
    const std::string fifo = dir.file("fifo.dib");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(Dib(fifo).isValid());
    EXPECT_FALSE(Dib(dir.path().string()).isValid());
}

TEST_F(DibTest, ClrUsedAboveTheDepthReadsTheWholeTable) {
    DibBuilder dib(3, 1, 8);
    std::vector<std::uint32_t> table(300, 0x000000);
    table[2] = 0x123456;
    table[299] = 0xFFFFFF;
    dib.palette = table;
    dib.fileHeader = false;
    dib.fill([](int x, int) { return x == 1 ? 2u : 0u; });
    dib.writeTo(dir.file("wide.dib"));

    const auto surface = paintFile(dir.file("wide.dib"));
    ASSERT_TRUE(surface);
    EXPECT_EQ(pixelsOf(*surface), (std::vector<std::string>{"000000", "123456", "000000"}));
}

TEST_F(DibTest, IndicesBeyondAShortTableAreBlack) {
    DibBuilder dib(4, 1, 8);
    dib.palette = {0x112233, 0x445566};
    dib.fill([](int x, int) { return std::array<std::uint32_t, 4>{1, 0, 2, 255}[x]; });
    dib.writeTo(dir.file("short.dib"));

    const auto surface = paintFile(dir.file("short.dib"));
    ASSERT_TRUE(surface);
    EXPECT_EQ(pixelsOf(*surface),
              (std::vector<std::string>{"445566", "112233", "000000", "000000"}));
}

TEST_F(DibTest, PaintIsCutToASmallerSurfaceAndLeavesTheRestOfALargerOne) {
    DibBuilder dib(3, 2, 24);
    dib.fill([](int x, int y) { return 0x100000u * static_cast<std::uint32_t>(1 + x + 3 * y); });
    dib.writeTo(dir.file("small.dib"));
    const Dib image(dir.file("small.dib"));
    ASSERT_TRUE(image.isValid());

    auto smaller = Surface::create(2, 1);
    ASSERT_TRUE(image.paint(*smaller));
    EXPECT_EQ(pixelsOf(*smaller), (std::vector<std::string>{"100000", "200000"}));

    auto larger = Surface::create(4, 3);
    ASSERT_TRUE(image.paint(*larger));
    EXPECT_EQ(pixelsOf(*larger),
              (std::vector<std::string>{"100000", "200000", "300000", "000000", //
                                        "400000", "500000", "600000", "000000", //
                                        "000000", "000000", "000000", "000000"}));
}

TEST_F(DibTest, PaletteImagePaintsLikeTheEquivalentTrueColourImage) {
    // Large enough that the rows are read in several pieces.
    constexpr int width = 301;
    constexpr int height = 123;
    std::vector<std::uint32_t> table(256);
    for (std::uint32_t i = 0; i < 256; ++i) {
        table[i] = (i * 2654435761u) & 0xFFFFFF;
    }
    const auto index = [](int x, int y) {
        return static_cast<std::uint32_t>(x * 7 + y * 13) & 0xFF;
    };
    DibBuilder indexed(width, height, 8);
    indexed.palette = table;
    indexed.fill(index);
    DibBuilder trueColour(width, height, 24);
    trueColour.fill([&](int x, int y) { return table[index(x, y)]; });
    ASSERT_GT(trueColour.imageBytes(), Dib::readPieceBytes * 3);
    indexed.writeTo(dir.file("indexed.dib"));
    trueColour.writeTo(dir.file("true.dib"));

    const auto fromIndexed = paintFile(dir.file("indexed.dib"));
    const auto fromTrueColour = paintFile(dir.file("true.dib"));
    ASSERT_TRUE(fromIndexed && fromTrueColour);
    EXPECT_EQ(pixelsOf(*fromIndexed), pixelsOf(*fromTrueColour));
}

TEST_F(DibTest, LargeFileCutInsideItsLastPieceFails) {
    DibBuilder dib(301, 123, 24);
    dib.fill([](int x, int y) { return static_cast<std::uint32_t>(x * 65537 + y); });
    auto bytes = dib.bytes();
    bytes.pop_back();
    DibBuilder::writeFile(dir.file("cut.dib"), bytes);
    EXPECT_FALSE(Dib(dir.file("cut.dib")).isValid());
}

} // namespace
