#include "capture/TestSource.h"

#include "capture/Capture.h"
#include "capture/DriverCaptureService.h"
#include "capture/HeadlessPreviewSink.h"
#include "settings/Settings.h"
#include "tests/capture/ScriptedCaptureDialogs.h"
#include "tests/capture/WorkingDirectory.h"
#include "tests/support/Deadline.h"
#include "tests/support/JpegImage.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <ostream>

// Names the frame sizes of the parameterised tests.
void PrintTo(const FrameSize& size, std::ostream* out) {
    *out << size.width << "x" << size.height;
}

namespace {

using namespace std::chrono_literals;

bool samePixels(const Surface& a, const Surface& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::memcmp(a.bits(), b.bits(), a.stride() * static_cast<std::size_t>(a.height())) == 0;
}

std::optional<Surface> grabbed(CaptureDriver& driver) {
    std::optional<Surface> frame;
    driver.grab(frame);
    return frame;
}

int differingPixels(const JpegImage& a, const JpegImage& b) {
    int count = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const auto p = a.at(x, y);
            const auto q = b.at(x, y);
            count +=
                std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue) >
                60;
        }
    }
    return count;
}

// Everything the program would set up, with the test source as the only device.
class TestSourceCapture : public testing::Test {
protected:
    SettingsSnapshot keepSettings;

    std::unique_ptr<DriverCaptureService> makeService() {
        std::vector<std::unique_ptr<CaptureDriver>> drivers;
        drivers.push_back(std::make_unique<TestSource>());
        return std::make_unique<DriverCaptureService>(std::move(drivers), preview, dialogs);
    }

    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    HeadlessPreviewSink preview;
    ScriptedCaptureDialogs dialogs;
};

TEST_F(TestSourceCapture, GrabsMovingPicturesIntoTheJpegFile) {
    Settings::setDateTimeOverlay(false);
    Settings::setJpegQuality(90);
    auto service = makeService();
    {
        Capture capture(*service, {});
        capture.initialize();
        capture.setFrameRate(15);
        EXPECT_EQ(capture.deviceNames, (std::vector<std::string>{"Test Source"}));
        EXPECT_EQ(capture.getDeviceName(), "Test Source");
        EXPECT_EQ(capture.status.uiImageWidth, 320u);
        EXPECT_EQ(capture.status.uiImageHeight, 240u);
        EXPECT_TRUE(capture.driverCaps.fHasDlgVideoFormat);
        EXPECT_FALSE(capture.driverCaps.fHasDlgVideoSource);
        EXPECT_FALSE(capture.driverCaps.fHasDlgVideoDisplay);

        ASSERT_TRUE(capture.grabFrame());
        const auto first = JpegImage::read("image.jpg");
        ASSERT_TRUE(capture.grabFrame());
        const auto second = JpegImage::read("image.jpg");
        ASSERT_TRUE(first);
        ASSERT_TRUE(second);
        EXPECT_EQ(first->width, 320);
        EXPECT_EQ(first->height, 240);
        EXPECT_GT(differingPixels(*first, *second), 100) << "the picture moves";
        EXPECT_TRUE(std::filesystem::exists("_temp.dib"));
    }
    EXPECT_FALSE(std::filesystem::exists("_temp.dib")) << "deleted when the capture closes";
}

class TestSourceSizes : public TestSourceCapture, public testing::WithParamInterface<FrameSize> {};

TEST_P(TestSourceSizes, FormatDialogChoosesTheSizeOfTheJpeg) {
    const FrameSize wanted = GetParam();
    dialogs.chooseSize = [&](const std::vector<FrameSize>& sizes) -> std::optional<std::size_t> {
        return static_cast<std::size_t>(std::find(sizes.begin(), sizes.end(), wanted) -
                                        sizes.begin());
    };
    auto service = makeService();
    Capture capture(*service, {});
    capture.initialize();
    capture.showFormatDialog();
    EXPECT_EQ(dialogs.shownDevice, "Test Source");
    EXPECT_EQ(dialogs.shownCurrent, 1u) << "320 x 240 in use";
    EXPECT_EQ(capture.status.uiImageWidth, static_cast<std::uint32_t>(wanted.width));
    EXPECT_EQ(capture.status.uiImageHeight, static_cast<std::uint32_t>(wanted.height));

    ASSERT_TRUE(capture.grabFrame());
    const auto image = JpegImage::read("image.jpg");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, wanted.width);
    EXPECT_EQ(image->height, wanted.height);
}

INSTANTIATE_TEST_SUITE_P(Capture, TestSourceSizes,
                         testing::Values(FrameSize{160, 120}, FrameSize{320, 240},
                                         FrameSize{640, 480}, FrameSize{1280, 720},
                                         FrameSize{1920, 1080}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST_F(TestSourceCapture, CancelledFormatDialogKeepsTheSize) {
    auto service = makeService();
    Capture capture(*service, {});
    capture.initialize();
    capture.showFormatDialog();
    EXPECT_EQ(dialogs.formatDialogs, 1);
    EXPECT_EQ(dialogs.shownSizes.size(), 5u);
    EXPECT_EQ(capture.status.uiImageWidth, 320u);
    capture.showSourceDialog();
    capture.showDisplayDialog();
    EXPECT_EQ(dialogs.sourceDialogs, 0) << "the test source has nothing to adjust";
}

TEST(TestSource, FramesDifferFromOneToTheNext) {
    const Surface first = TestSource::render({320, 240}, 7);
    const Surface again = TestSource::render({320, 240}, 7);
    const Surface next = TestSource::render({320, 240}, 8);
    EXPECT_TRUE(samePixels(first, again));
    EXPECT_FALSE(samePixels(first, next));
}

TEST(TestSource, ShowsColourBarsAcrossTheTop) {
    const Surface frame = TestSource::render({700, 300}, 0);
    const std::uint8_t* row = frame.rowFromTop(150);
    const std::uint8_t expected[7][3] = {
        {191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
        {191, 0, 191},   {0, 0, 191},   {191, 0, 0}}; // blue, green, red
    for (int bar = 0; bar < 7; ++bar) {
        const std::uint8_t* pixel = row + 3 * (bar * 100 + 50);
        EXPECT_EQ(pixel[0], expected[bar][0]) << "bar " << bar;
        EXPECT_EQ(pixel[1], expected[bar][1]) << "bar " << bar;
        EXPECT_EQ(pixel[2], expected[bar][2]) << "bar " << bar;
    }
}

TEST(TestSource, GrabsConsecutiveFramesOnlyWhileOpen) {
    TestSource source;
    EXPECT_FALSE(grabbed(source));
    ASSERT_TRUE(source.open());
    EXPECT_FALSE(source.setFrameSize({100, 100}));
    const auto first = grabbed(source);
    const auto second = grabbed(source);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(samePixels(*first, TestSource::render({320, 240}, 0)));
    EXPECT_TRUE(samePixels(*second, TestSource::render({320, 240}, 1)));
    std::optional<Surface> reused = TestSource::render({320, 240}, 99);
    const std::uint8_t* memory = reused->bits();
    ASSERT_TRUE(source.grab(reused));
    EXPECT_EQ(reused->bits(), memory) << "a frame of the right size is drawn over";
    EXPECT_TRUE(samePixels(*reused, TestSource::render({320, 240}, 2)));
    source.close();
    EXPECT_FALSE(source.grab(reused));
    EXPECT_FALSE(reused) << "a failed grab leaves no frame";
}

class CountingTarget : public CaptureDriver::PreviewTarget {
public:
    explicit CountingTarget(bool wanted)
        : wanted(wanted) {}
    bool wantsFrames() const override {
        ++asked;
        return wanted;
    }
    void showFrame(const Surface& frame) override {
        width = frame.width();
        ++shown;
    }
    const bool wanted;
    mutable std::atomic<int> asked{0};
    std::atomic<int> shown{0};
    std::atomic<int> width{0};
};

TEST(TestSource, PreviewMakesFramesOnlyWhileSomebodyLooks) {
    TestSource source;
    ASSERT_TRUE(source.open());
    CountingTarget unwatched(false);
    source.startPreview(unwatched, 1ms);
    ASSERT_TRUE(waitUntil([&] { return unwatched.asked >= 2; }));
    source.stopPreview();
    EXPECT_EQ(unwatched.shown, 0);
    EXPECT_TRUE(samePixels(*grabbed(source), TestSource::render({320, 240}, 0)))
        << "no frame was made for nobody";

    CountingTarget watched(true);
    source.setFrameSize({160, 120});
    source.startPreview(watched, 1ms);
    ASSERT_TRUE(waitUntil([&] { return watched.shown >= 3; }));
    source.close();
    const int shown = watched.shown;
    EXPECT_EQ(watched.width, 160);
    EXPECT_EQ(watched.shown, shown) << "closing ends the preview";
}

} // namespace
