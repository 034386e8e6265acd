#include "image/Dib.h"

#include "tests/support/DibBuilder.h"
#include "tests/support/FileBytes.h"
#include "tests/support/SurfacePixels.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// A format, raw pixel values in it with the colour a true-colour screen shows for each, and
// its bit-field masks.
struct Format {
    std::string name;
    std::uint16_t bitCount;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> swatches;
    std::optional<std::array<std::uint32_t, 3>> masks = {};
};

// clang-format off
const std::vector<Format> formats = {
    // 5-5-5: each 5-bit field abcde is shown as abcdeabc.
    {"Bits16Rgb555", 16, {{0x7C00, 0xFF0000}, {0x03E0, 0x00FF00}, {0x001F, 0x0000FF}, {0x4210, 0x848484}}},
    {"Bits24", 24, {{0x123456, 0x123456}, {0xFF0000, 0xFF0000}, {0x0000FF, 0x0000FF}, {0x89ABCD, 0x89ABCD}}},
    // 10-bit fields keep their top 8 bits.
    {"Bits32Bitfields101010", 32, {{0x3FF00000, 0xFF0000}, {0x200400FF, 0x80403F}, {0x000FFC00, 0x00FF00}},
     std::array<std::uint32_t, 3>{0x3FF00000, 0x000FFC00, 0x000003FF}},
};
// clang-format on

class DibVariantTest : public testing::TestWithParam<std::tuple<Format, bool>> {};

// A 5 x 3 picture (odd width, so every row is padded) of the format's swatches comes out
// upright in its colours, taken over or painted as the frame chain does: in a file, and
// packed with its rows top down.
TEST_P(DibVariantTest, GivesThePictureUprightInItsColours) {
    const auto& [format, packedTopDown] = GetParam();
    const auto swatchAt = [&](int x, int y) {
        return format.swatches[static_cast<std::size_t>(x + 2 * y) % format.swatches.size()];
    };
    DibBuilder file(5, packedTopDown ? -3 : 3, format.bitCount);
    file.fileHeader = !packedTopDown;
    file.compression = format.masks ? Dib::biBitfields : Dib::biRgb;
    file.masks = format.masks;
    file.fill([&](int x, int y) { return swatchAt(x, y).first; });
    TempDir dir;
    file.writeTo(dir.file("frame.dib"));

    Dib dib(dir.file("frame.dib"));
    ASSERT_TRUE(dib.isValid());
    std::optional<Surface> surface = dib.takeSurface();
    if (!surface) {
        surface = Surface::create(dib.width(), dib.height());
        ASSERT_TRUE(dib.paint(*surface));
    }
    ASSERT_EQ(surface->width(), 5);
    ASSERT_EQ(surface->height(), 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const auto expected = static_cast<int>(swatchAt(x, y).second);
            EXPECT_EQ(pixelAt(*surface, x, y),
                      (Rgb{expected >> 16, expected >> 8 & 0xFF, expected & 0xFF}))
                << x << ", " << y;
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(AllFormats, DibVariantTest, testing::Combine(testing::ValuesIn(formats), testing::Bool()),
    [](const auto& info) { return std::get<0>(info.param).name + (std::get<1>(info.param) ? "_Packed" : ""); });
// clang-format on

// A header that promises more than the file holds, or pixels of no known kind, is refused.
TEST(DibTest, HostileHeadersAreRefused) {
    TempDir dir;
    // Width, height and bit count, after the file header.
    for (const auto& [offset, value] : {std::pair{18, 0x7FFFFFFFu}, {22, 0x00100000u}, {28, 7u}}) {
        auto bytes = DibBuilder(5, 3, 24).bytes();
        for (int i = 0; i < 4; ++i) {
            bytes[static_cast<std::size_t>(offset + i)] = static_cast<std::uint8_t>(value >> 8 * i);
        }
        writeBytes(dir.file("frame.dib"), {bytes.begin(), bytes.end()});
        EXPECT_FALSE(Dib(dir.file("frame.dib")).isValid()) << offset;
    }
}

} // namespace
