#include "image/PictureGeometry.h"

#include "capture/TestSource.h"
#include "image/Dib.h"
#include "image/FrameChain.h"
#include "image/GrabSettings.h"
#include "image/Overlay.h"
#include "tests/support/DibBuilder.h"
#include "tests/support/FileBytes.h"
#include "tests/support/SurfacePixels.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace {

std::tm dayOf(int year, int day, int second) {
    std::tm time{};
    std::tie(time.tm_year, time.tm_mday, time.tm_sec) = std::tuple(year - 1900, day, second);
    return time;
}

// A picture as plain rows of colours, for references made step by step.
using Picture = std::vector<std::vector<Rgb>>;

Picture pixelsOf(const Surface& surface) {
    Picture picture(static_cast<std::size_t>(surface.height()));
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            picture[static_cast<std::size_t>(y)].push_back(pixelAt(surface, x, y));
        }
    }
    return picture;
}

Picture transposed(const Picture& in) {
    Picture out(in[0].size(), std::vector<Rgb>(in.size()));
    for (std::size_t y = 0; y < in.size(); ++y) {
        for (std::size_t x = 0; x < in[0].size(); ++x) {
            out[x][y] = in[y][x];
        }
    }
    return out;
}

Picture mirrored(Picture in) {
    for (auto& row : in) {
        std::ranges::reverse(row);
    }
    return in;
}

Picture upsideDown(Picture in) {
    std::ranges::reverse(in);
    return in;
}

// The source sample at position at (in source pixels) of one axis, for each scaling way:
// shrinking averages the covered interval by the midpoint rule on a grid of 1/out pixel,
// which is exact for pixels; growing interpolates between the two pixel centres nearest.
std::vector<std::vector<double>> axisWeights(int in, int out) {
    std::vector<std::vector<double>> weights(static_cast<std::size_t>(out),
                                             std::vector<double>(static_cast<std::size_t>(in)));
    for (int i = 0; i < out; ++i) {
        auto& w = weights[static_cast<std::size_t>(i)];
        if (out < in) {
            for (int t = 0; t < in; ++t) {
                w[static_cast<std::size_t>((i * in + t) / out)] += 1.0 / in;
            }
            continue;
        }
        const double at = std::clamp((i + 0.5) * in / out - 0.5, 0.0, in - 1.0);
        const int left = static_cast<int>(std::floor(at));
        w[static_cast<std::size_t>(left)] += 1 - (at - left);
        w[static_cast<std::size_t>(std::min(left + 1, in - 1))] += at - left;
    }
    return weights;
}

Picture scaled(const Picture& in, int width, int height) {
    const auto across = axisWeights(static_cast<int>(in[0].size()), width);
    const auto down = axisWeights(static_cast<int>(in.size()), height);
    Picture out(static_cast<std::size_t>(height),
                std::vector<Rgb>(static_cast<std::size_t>(width)));
    for (std::size_t y = 0; y < out.size(); ++y) {
        for (std::size_t x = 0; x < out[0].size(); ++x) {
            double sum[3] = {0, 0, 0};
            for (std::size_t sy = 0; sy < in.size(); ++sy) {
                for (std::size_t sx = 0; sx < in[0].size(); ++sx) {
                    const double w = down[y][sy] * across[x][sx];
                    sum[0] += w * in[sy][sx].red;
                    sum[1] += w * in[sy][sx].green;
                    sum[2] += w * in[sy][sx].blue;
                }
            }
            const auto round = [](double value) { return static_cast<int>(std::lround(value)); };
            out[y][x] = {round(sum[0]), round(sum[1]), round(sum[2])};
        }
    }
    return out;
}

// A test-source frame of the given size through the options; the reference is made from
// its pixels one obvious step at a time: cut, turn as transposes and mirrors, mirror, scale.
struct GeometryCase {
    const char* name;
    int width;
    int height;
    PictureOptions options;
    int tolerance = 0;
};

class PictureGeometryTest : public testing::TestWithParam<GeometryCase> {};

TEST_P(PictureGeometryTest, MatchesTheReference) {
    const GeometryCase& row = GetParam();
    const Surface frame = TestSource::render({row.width, row.height}, 7);
    Picture want = pixelsOf(frame);
    if (const auto& crop = row.options.crop) {
        Picture cut;
        for (int y = crop->y; y < crop->y + crop->height; ++y) {
            const auto& line = want[static_cast<std::size_t>(y)];
            cut.emplace_back(line.begin() + crop->x, line.begin() + crop->x + crop->width);
        }
        want = cut;
    }
    // Each quarter turn clockwise.
    for (int turn = 0; turn < row.options.rotate / 90; ++turn) {
        want = mirrored(transposed(want));
    }
    want = row.options.flip == 1 ? mirrored(want) : row.options.flip == 2 ? upsideDown(want) : want;
    if (row.options.width > 0) {
        const auto height = static_cast<int>(
            std::lround(static_cast<double>(want.size()) * row.options.width / want[0].size()));
        want = scaled(want, row.options.width, height);
    }
    const std::optional<Surface> got = PictureGeometry::apply(frame, row.options);
    ASSERT_TRUE(got);
    const Picture have = pixelsOf(*got);
    ASSERT_EQ(have.size(), want.size());
    ASSERT_EQ(have[0].size(), want[0].size());
    int worst = 0;
    for (std::size_t y = 0; y < want.size(); ++y) {
        for (std::size_t x = 0; x < want[0].size(); ++x) {
            const Rgb a = have[y][x], b = want[y][x];
            worst = std::max({worst, std::abs(a.red - b.red), std::abs(a.green - b.green),
                              std::abs(a.blue - b.blue)});
        }
    }
    EXPECT_LE(worst, row.tolerance);
}

PictureOptions turned(int rotate, int flip, std::optional<PictureRect> crop = {}, int width = 0) {
    return {.crop = crop, .rotate = rotate, .flip = flip, .width = width, .dateFormat = {}};
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, PictureGeometryTest, testing::Values(
    GeometryCase{"AsItIs", 32, 24, {}}, GeometryCase{"Rotate90", 33, 17, turned(90, 0)},
    GeometryCase{"Rotate180", 33, 17, turned(180, 0)}, GeometryCase{"Rotate270", 33, 17, turned(270, 0)},
    GeometryCase{"FlipLeftRight", 33, 17, turned(0, 1)}, GeometryCase{"FlipTopBottom", 33, 17, turned(0, 2)},
    GeometryCase{"Rotate90ThenFlip", 33, 17, turned(90, 1)},
    GeometryCase{"Rotate270ThenFlipTopBottom", 33, 17, turned(270, 2)},
    GeometryCase{"CropTopLeftEdge", 40, 30, turned(0, 0, PictureRect{0, 0, 11, 7})},
    GeometryCase{"CropBottomRightEdge", 40, 30, turned(0, 0, PictureRect{29, 23, 11, 7})},
    GeometryCase{"CropWholeFrame", 40, 30, turned(0, 0, PictureRect{0, 0, 40, 30})},
    GeometryCase{"CropOnePixel", 40, 30, turned(0, 0, PictureRect{39, 29, 1, 1})},
    GeometryCase{"CropThenRotate270", 40, 30, turned(270, 0, PictureRect{3, 5, 17, 9})},
    GeometryCase{"HalfSize", 64, 48, turned(0, 0, {}, 32), 1},
    GeometryCase{"ShrinkOddSize", 65, 49, turned(0, 0, {}, 31), 1},
    GeometryCase{"ShrinkByMuch", 97, 61, turned(0, 0, {}, 5), 1},
    GeometryCase{"GrowOddSize", 33, 17, turned(0, 0, {}, 50), 1},
    GeometryCase{"GrowFourTimes", 16, 12, turned(0, 0, {}, 64), 1},
    GeometryCase{"Rotate90ThenGrow", 24, 32, turned(90, 0, {}, 40), 1},
    GeometryCase{"CropRotateFlipShrink", 64, 48, turned(180, 1, PictureRect{8, 4, 40, 30}, 17), 1}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(PictureGeometry, RefusesACropOutsideTheFrame) {
    const Surface frame = TestSource::render({40, 30}, 1);
    for (const PictureRect crop : {PictureRect{30, 0, 11, 5}, PictureRect{0, 26, 5, 5},
                                   PictureRect{-1, 0, 5, 5}, PictureRect{0, 0, 0, 5}}) {
        EXPECT_FALSE(PictureGeometry::turn(frame, turned(0, 0, crop))) << crop.x << "," << crop.y;
    }
}

constexpr Rgb green{0, 255, 0};

// The box around everything that is no longer green.
PictureRect inkBox(const Surface& surface) {
    int left = surface.width(), top = surface.height(), right = -1, bottom = -1;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            if (pixelAt(surface, x, y) != green) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

// The date/time line alone on a 400 x 300 picture: its height follows the share, and it
// sits in its corner.
struct StampCase {
    const char* name;
    int perMille;
    StampCorner corner;
    int characterHeight;
};

class StampTest : public testing::TestWithParam<StampCase> {};

TEST_P(StampTest, SizeAndCornerFollowTheOptions) {
    const StampCase& row = GetParam();
    const Overlay::Colors colors{0x0000FF, 0xFF0000};
    Overlay overlay([] { return dayOf(2026, 1, 0); });
    ASSERT_TRUE(overlay.hasFont()) << "no font face installed";
    PictureOptions options;
    options.textSizePerMille = row.perMille;
    options.corner = row.corner;
    options.dateFormat = "%Y-%m-%d %H:%M:%S";
    Surface date = filled(400, 300, green);
    overlay.drawCaptions(date, true, "", options, colors);
    const PictureRect box = inkBox(date);
    // Digits and their outline: most of the character height, never more than the cell.
    EXPECT_GE(box.height, row.characterHeight / 2);
    EXPECT_LE(box.height, row.characterHeight * 3 / 2 + 2);
    const bool right =
        row.corner == StampCorner::bottomRight || row.corner == StampCorner::topRight;
    const bool bottom =
        row.corner == StampCorner::bottomLeft || row.corner == StampCorner::bottomRight;
    EXPECT_LE(right ? 400 - (box.x + box.width) : box.x, row.characterHeight / 6 + 1);
    EXPECT_LE(bottom ? 300 - (box.y + box.height) : box.y, row.characterHeight / 3 + 1);
    EXPECT_LT(box.width, 400);
    // The text goes to the other corner on the same side.
    Surface text = filled(400, 300, green);
    overlay.drawCaptions(text, false, "Garden", options, colors);
    const PictureRect textBox = inkBox(text);
    EXPECT_EQ(right, textBox.x > 200);
    EXPECT_EQ(bottom, textBox.y < 150);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, StampTest, testing::Values(
    StampCase{"UsualSizeBottomLeft", 0, StampCorner::bottomLeft, 11},
    StampCase{"TenthBottomRight", 100, StampCorner::bottomRight, 30},
    StampCase{"FiveHundredthsTopLeft", 50, StampCorner::topLeft, 15},
    StampCase{"TwentiethTopRight", 20, StampCorner::topRight, 6}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The frame chain with the usual options writes the very bytes it writes without any, also
// when they are spelled out: the usual date pattern, the frame's own width.
TEST(PictureFrameChain, UsualOptionsGiveTheSameBytes) {
    TempDir dir;
    DibBuilder frame(96, 64, 24);
    frame.fill(
        [](int x, int y) { return static_cast<std::uint32_t>(x * 0x020301 + y * 0x010203); });
    frame.writeTo(dir.file("frame.dib"));
    Overlay overlay([] { return dayOf(2026, 9, 5); });
    const auto jpegBytes = [&](const PictureOptions* options) {
        Dib dib(dir.file("frame.dib"));
        const std::string file = dir.file("image.jpg");
        GrabSettings settings{file, 70, true, "Garden", {0x0000D20B, 0}};
        if (options) {
            settings.picture = *options;
        }
        EXPECT_TRUE(saveFrameAsJpeg(dib, settings, overlay));
        return readBytes(file);
    };
    const std::string plain = jpegBytes(nullptr);
    PictureOptions spelled;
    EXPECT_EQ(jpegBytes(&spelled), plain);
    spelled.width = 96;
    spelled.dateFormat = "%m/%d/%y %H:%M:%S";
    EXPECT_EQ(jpegBytes(&spelled), plain);
    spelled.rotate = 180;
    EXPECT_NE(jpegBytes(&spelled), plain);
}

} // namespace
