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
#include <fstream>
#include <iterator>

namespace {

std::tm fixedTime() {
    std::tm time{};
    time.tm_year = 107; // 2007
    time.tm_mon = 2;
    time.tm_mday = 5;
    time.tm_hour = 9;
    time.tm_min = 4;
    time.tm_sec = 7;
    return time;
}

// A picture with four coloured quarters, so orientation and channel order both show.
std::uint32_t quarters(int x, int y, int width, int height) {
    const bool top = y < height / 2;
    const bool left = x < width / 2;
    if (top) {
        return left ? 0xFF0000u : 0x00FF00u;
    }
    return left ? 0x0000FFu : 0xFFFFFFu;
}

std::string contentsOf(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int distance(JpegImage::Rgb a, JpegImage::Rgb b) {
    return std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue);
}

class FrameChainTest : public testing::Test {
protected:
    SettingsSnapshot keepSettings;

    void SetUp() override {
        Settings::setTextColor(0x00FFFFFF);
        Settings::setBackColor(0x00000000);
    }

    // Writes a 64 x 48 frame file of the given variant and runs the chain on it.
    bool grab(DibBuilder frame, bool dateTime, const std::string& text) {
        frame.writeTo(frameFile);
        Dib dib(frameFile);
        return saveFrameAsJpeg(dib, jpegFile, 90, dateTime, text, overlay);
    }
    static DibBuilder quartersFrame(int bitCount, int height = 48) {
        DibBuilder frame(64, height, static_cast<std::uint16_t>(bitCount));
        frame.fill([&](int x, int y) { return quarters(x, y, 64, frame.rows()); });
        return frame;
    }

    TempDir dir;
    const std::string frameFile = dir.file("_temp.dib");
    const std::string jpegFile = dir.file("image.jpg");
    Overlay overlay{fixedTime};
};

TEST_F(FrameChainTest, FrameAloneIsUprightInItsColours) {
    ASSERT_TRUE(grab(quartersFrame(24), false, ""));
    const auto image = JpegImage::read(jpegFile);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 64);
    ASSERT_EQ(image->height, 48);
    EXPECT_LT(distance(image->at(10, 10), {255, 0, 0}), 40);
    EXPECT_LT(distance(image->at(50, 10), {0, 255, 0}), 40);
    EXPECT_LT(distance(image->at(10, 38), {0, 0, 255}), 40);
    EXPECT_LT(distance(image->at(50, 38), {255, 255, 255}), 40);
    // Corners carry no overlay.
    EXPECT_LT(distance(image->at(1, 1), {255, 0, 0}), 40);
    EXPECT_LT(distance(image->at(1, 46), {0, 0, 255}), 40);
}

TEST_F(FrameChainTest, TopDownFrameLandsUpright) {
    ASSERT_TRUE(grab(quartersFrame(24, -48), false, ""));
    const auto image = JpegImage::read(jpegFile);
    ASSERT_TRUE(image);
    EXPECT_LT(distance(image->at(10, 10), {255, 0, 0}), 40);
    EXPECT_LT(distance(image->at(10, 38), {0, 0, 255}), 40);
}

TEST_F(FrameChainTest, PaletteFrameGivesTheSameJpegAsTheTrueColourOne) {
    ASSERT_TRUE(grab(quartersFrame(24), true, "x"));
    const std::string trueColour = contentsOf(jpegFile);

    DibBuilder indexed(64, 48, 8);
    indexed.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    indexed.fill([](int x, int y) {
        const std::uint32_t colour = quarters(x, y, 64, 48);
        return colour == 0xFF0000u ? 0u : colour == 0x00FF00u ? 1u : colour == 0x0000FFu ? 2u : 3u;
    });
    ASSERT_TRUE(grab(indexed, true, "x"));
    EXPECT_EQ(contentsOf(jpegFile), trueColour);
}

TEST_F(FrameChainTest, OverlaysLandOnlyAtTheirCorners) {
    ASSERT_TRUE(grab(quartersFrame(24), false, ""));
    const auto plain = JpegImage::read(jpegFile);
    ASSERT_TRUE(plain);

    struct Row {
        bool dateTime;
        std::string text;
        bool topLeftChanges;
        bool bottomLeftChanges;
    };
    for (const Row& row :
         {Row{true, "", false, true}, Row{false, "x", true, false}, Row{true, "x", true, true}}) {
        ASSERT_TRUE(grab(quartersFrame(24), row.dateTime, row.text));
        const auto image = JpegImage::read(jpegFile);
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
        SCOPED_TRACE(std::string("date/time ") + (row.dateTime ? "on" : "off") + ", text '" +
                     row.text + "'");
        EXPECT_EQ(changedIn(0, 0, 12, 14), row.topLeftChanges);
        EXPECT_EQ(changedIn(0, 34, 64, 48), row.bottomLeftChanges);
        EXPECT_FALSE(changedIn(20, 16, 64, 30)) << "the middle of the frame stays untouched";
    }
}

TEST_F(FrameChainTest, FailuresWriteNothingAndKeepThePreviousJpeg) {
    std::ofstream(jpegFile) << "the previous image";
    Dib missing(dir.file("no-frame.dib"));
    EXPECT_FALSE(saveFrameAsJpeg(missing, jpegFile, 70, true, "x", overlay));

    std::ofstream(frameFile) << "BM but nothing else of a bitmap";
    Dib broken(frameFile);
    EXPECT_FALSE(saveFrameAsJpeg(broken, jpegFile, 70, true, "x", overlay));

    DibBuilder rle(64, 48, 8);
    rle.compression = 1; // BI_RLE8
    rle.palette = {0};
    rle.writeTo(frameFile);
    Dib compressed(frameFile);
    EXPECT_FALSE(saveFrameAsJpeg(compressed, jpegFile, 70, true, "x", overlay));

    EXPECT_EQ(contentsOf(jpegFile), "the previous image");

    quartersFrame(24).writeTo(frameFile);
    Dib good(frameFile);
    EXPECT_FALSE(saveFrameAsJpeg(good, dir.file("missing-dir/image.jpg"), 70, true, "x", overlay));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing-dir"));
}

} // namespace
