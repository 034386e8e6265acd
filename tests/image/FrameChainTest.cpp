#include "image/FrameChain.h"

#include "image/Dib.h"
#include "image/Overlay.h"
#include "settings/Settings.h"
#include "tests/support/DibBuilder.h"
#include "tests/support/JpegImage.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

namespace {

constexpr int width = 62; // rows of 186 bytes padded to 188
constexpr int height = 48;

// Four coloured quarters, so orientation and channel order both show.
std::uint32_t quarters(int x, int y) {
    const bool left = x < 32;
    if (y < height / 2) {
        return left ? 0xFF0000u : 0x00FF00u;
    }
    return left ? 0x0000FFu : 0xFFFFFFu;
}

int distance(JpegImage::Rgb a, JpegImage::Rgb b) {
    return std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue);
}

struct OverlayRow {
    const char* name;
    bool dateTime;
    const char* text;
};

void PrintTo(const OverlayRow& row, std::ostream* out) {
    *out << row.name;
}

class FrameChainTest : public testing::TestWithParam<OverlayRow> {
protected:
    SettingsSnapshot keepSettings;
    TempDir dir;
    Overlay overlay{[] {
        std::tm time{};
        time.tm_year = 107;
        time.tm_mday = 5;
        return time;
    }};
};

// The frame lands upright in its colours; the user's text changes only the top left
// corner, the date/time line only the bottom, and the middle stays untouched.
TEST_P(FrameChainTest, OverlaysLandOnlyAtTheirCorners) {
    Settings::setTextColor(0x00FFFFFF);
    Settings::setBackColor(0x00000000);
    DibBuilder frame(width, height, 24);
    frame.fill(quarters);
    const auto grab = [&](bool dateTime, const std::string& text) {
        frame.writeTo(dir.file("_temp.dib"));
        Dib dib(dir.file("_temp.dib"));
        EXPECT_TRUE(saveFrameAsJpeg(dib, dir.file("image.jpg"), 90, dateTime, text, overlay));
        return JpegImage::read(dir.file("image.jpg"));
    };
    const auto plain = grab(false, "");
    ASSERT_TRUE(plain);
    ASSERT_EQ(plain->width, width);
    ASSERT_EQ(plain->height, height);
    EXPECT_LT(distance(plain->at(10, 10), {255, 0, 0}), 40);
    EXPECT_LT(distance(plain->at(50, 10), {0, 255, 0}), 40);
    EXPECT_LT(distance(plain->at(10, 38), {0, 0, 255}), 40);
    EXPECT_LT(distance(plain->at(50, 38), {255, 255, 255}), 40);

    const auto image = grab(GetParam().dateTime, GetParam().text);
    ASSERT_TRUE(image);
    auto changedIn = [&](int x0, int y0, int x1, int y1) {
        int most = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                most = std::max(most, distance(image->at(x, y), plain->at(x, y)));
            }
        }
        return most > 120;
    };
    EXPECT_EQ(changedIn(0, 0, 12, 14), *GetParam().text != '\0');
    EXPECT_EQ(changedIn(0, 34, width, height), GetParam().dateTime);
    EXPECT_FALSE(changedIn(20, 16, width, 30));
}

INSTANTIATE_TEST_SUITE_P(FrameChain, FrameChainTest,
                         testing::Values(OverlayRow{"DateTime", true, ""},
                                         OverlayRow{"Text", false, "x"},
                                         OverlayRow{"Both", true, "x"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
