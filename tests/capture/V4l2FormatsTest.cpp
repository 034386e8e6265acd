#include "capture/v4l2/V4l2Formats.h"

#include "tests/support/FakeV4l2Camera.h"

#include <gtest/gtest.h>

namespace {

struct ChoiceRow {
    const char* name;
    std::vector<FakeV4l2Camera::Format> offered;
    std::vector<FrameSize> sizes; // as the Format dialog lists them
    FrameSize wanted;
    std::uint32_t chosenFormat;
    FrameSize chosenSize;
};

class V4l2FormatChoice : public testing::TestWithParam<ChoiceRow> {};

TEST_P(V4l2FormatChoice, ListsTheSizesByPreferenceAndChoosesTheFormatToAskFor) {
    const ChoiceRow& row = GetParam();
    const auto fake = FakeV4l2Camera::create("Fake Cam", "usb-1");
    fake->formats = row.offered;
    const auto device = fake->opener()("/dev/video0");
    const V4l2Formats formats(*device);
    EXPECT_EQ(formats.sizes(), row.sizes);
    const auto chosen = formats.choose(row.wanted, *device);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->pixelformat, row.chosenFormat);
    EXPECT_EQ(FrameSize(static_cast<int>(chosen->width), static_cast<int>(chosen->height)),
              row.chosenSize);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(V4l2Formats, V4l2FormatChoice, testing::Values(
    ChoiceRow{"MjpegAtTheSizeAskedFor", {{V4L2_PIX_FMT_MJPEG, {{320, 240}, {640, 480}}}},
              {{320, 240}, {640, 480}}, {640, 480}, V4L2_PIX_FMT_MJPEG, {640, 480}},
    ChoiceRow{"YuyvWhereMjpegListedLaterLacksTheSize",
              {{V4L2_PIX_FMT_YUYV, {{352, 288}, {320, 240}}}, {V4L2_PIX_FMT_JPEG, {{320, 240}}}},
              {{320, 240}, {352, 288}}, {352, 288}, V4L2_PIX_FMT_YUYV, {352, 288}},
    ChoiceRow{"MjpegAtASizeItDoesNotList", {{V4L2_PIX_FMT_MJPEG, {{320, 240}}}},
              {{320, 240}}, {800, 600}, V4L2_PIX_FMT_MJPEG, {800, 600}},
    ChoiceRow{"AnotherFormatThroughTheLibrary",
              {{V4L2_PIX_FMT_BGR24, {{160, 120}}}, {V4L2_PIX_FMT_MJPEG, {{320, 240}}}},
              {{320, 240}, {160, 120}}, {160, 120}, V4L2_PIX_FMT_BGR24, {160, 120}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
