#include "capture/V4l2Camera.h"

#include "capture/TestSource.h"
#include "tests/capture/CameraFrames.h"
#include "tests/capture/FakeV4l2Camera.h"
#include "tests/capture/FakeVideoNodes.h"
#include "tests/support/Deadline.h"
#include "tests/support/SurfacePixels.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <mutex>

namespace {

using namespace std::chrono_literals;

std::optional<Surface> grabbed(CaptureDriver& driver) {
    std::optional<Surface> frame;
    driver.grab(frame);
    return frame;
}

// Pictures through lossy coding (JPEG, 4:2:2 colour) stay this close to the original.
constexpr double codingTolerance = 6;

class RecordingTarget : public CaptureDriver::PreviewTarget {
public:
    bool wantsFrames() const override { return true; }
    std::optional<FrameSize> stretchedSize() const override { return stretchedTo; }
    void showFrame(const Surface& frame) override {
        std::lock_guard lock(mutex);
        last = frame;
        ++frames;
    }
    std::optional<FrameSize> stretchedTo;
    std::atomic<int> frames{0};
    std::mutex mutex;
    std::optional<Surface> last;
};

class V4l2CameraTest : public testing::Test {
protected:
    // The camera delivers these formats, and is set to the first size of the first.
    void offer(std::vector<FakeV4l2Camera::Format> formats, const std::string& stableName = "") {
        fake->formats = std::move(formats);
        fake->plugIn();
        nodes.plug("/dev/video0", fake, stableName);
    }
    // Timing long enough never to be reached by a test that is not about it.
    V4l2Camera makeCamera(V4l2Camera::Timing timing = {20s, 1h, 1h, 1h},
                          const std::string& stableName = "") {
        return V4l2Camera("/dev/video0", V4l2Camera::Identity::of(fake->capability, stableName),
                          "Fake Cam", nodes.machine(health, timing));
    }
    // The frame the camera delivers of picture in the format and size it streams now.
    FakeV4l2Camera::Bytes frameOf(const Surface& picture, bool huffmanTables = true) {
        auto lock = fake->lock();
        return std::make_shared<const std::vector<std::uint8_t>>(
            CameraFrames::make(fake->pixelFormat, picture, fake->rowPadding, huffmanTables));
    }
    // Grabs while the camera delivers these frames over and over.
    std::optional<Surface> grabFeeding(V4l2Camera& camera,
                                       std::vector<std::pair<FakeV4l2Camera::Bytes, int>> frames) {
        auto grab = std::async(std::launch::async, [&] { return grabbed(camera); });
        for (std::size_t i = 0; grab.wait_for(2ms) != std::future_status::ready; ++i) {
            fake->push(frames[i % frames.size()].first, frames[i % frames.size()].second);
        }
        return grab.get();
    }
    std::vector<std::string> told() {
        std::lock_guard lock(mutex);
        return lines;
    }

    std::shared_ptr<FakeV4l2Camera> fake = FakeV4l2Camera::create("Fake Cam", "usb-1");
    FakeVideoNodes nodes;
    std::mutex mutex;
    std::chrono::steady_clock::time_point now;
    std::vector<std::string> lines;
    // Each report comes a minute after the one before, so every change is printed at once.
    std::shared_ptr<HealthLine> health = std::make_shared<HealthLine>(
        V4l2Camera::healthWords, [this] { return (std::lock_guard(mutex), now += 61s); },
        [this](const std::string& line) { (std::lock_guard(mutex), lines.push_back(line)); });
};

struct GrabRow {
    const char* name;
    std::vector<FakeV4l2Camera::Format> formats;
    std::uint32_t rowPadding;
    bool huffmanTables;
    std::vector<std::uint32_t> streamed; // the format streamed at each size offered
    int previewReduction;                // of a preview a quarter of the size
};

class V4l2Grab : public V4l2CameraTest, public testing::WithParamInterface<GrabRow> {};

// Each size in the camera's own format, MJPEG where it can: the frame that comes after the
// grab asked, upright in its colours, damaged ones skipped; the preview made no larger than
// the window needs.
TEST_P(V4l2Grab, DecodesToThePictureAtEveryOfferedSize) {
    offer(GetParam().formats);
    fake->rowPadding = GetParam().rowPadding;
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    ASSERT_EQ(camera.frameSizes().size(), GetParam().streamed.size());
    for (std::size_t i = 0; i < GetParam().streamed.size(); ++i) {
        const FrameSize size = camera.frameSizes()[i];
        ASSERT_TRUE(camera.setFrameSize(size));
        EXPECT_EQ((fake->lock(), fake->pixelFormat), GetParam().streamed[i]);
        auto old = *frameOf(TestSource::render(size, 40));
        fake->push(std::make_shared<const std::vector<std::uint8_t>>(old));
        ASSERT_TRUE(fake->waitUntilHandled());
        const Surface picture = TestSource::render(size, 1);
        const auto bytes = frameOf(picture, GetParam().huffmanTables);
        const auto flagged = std::make_shared<const std::vector<std::uint8_t>>(old);
        old.resize(old.size() * 2 / 3);
        const auto cutShort = std::make_shared<const std::vector<std::uint8_t>>(old);
        const auto frame =
            grabFeeding(camera, {{flagged, V4L2_BUF_FLAG_ERROR}, {cutShort, 0}, {bytes, 0}});
        ASSERT_TRUE(frame && frame->width() == size.width && frame->height() == size.height);
        EXPECT_LT(meanDifference(*frame, picture), codingTolerance) << size.width;

        RecordingTarget target;
        target.stretchedTo = FrameSize{size.width / 4, size.height / 4};
        camera.startPreview(target, 0ms);
        ASSERT_TRUE(waitUntil([&] { return fake->push(bytes), target.frames >= 1; }));
        camera.stopPreview();
        const int reduction = GetParam().previewReduction;
        const FrameSize made{size.width / reduction, size.height / reduction};
        ASSERT_EQ(target.last->width(), made.width);
        ASSERT_EQ(target.last->height(), made.height);
        EXPECT_LT(meanDifference(*target.last, TestSource::render(made, 1)), codingTolerance);
    }
    camera.close();
    EXPECT_EQ(fake->liveMappings + fake->openDevices, 0) << "the camera is free for others";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(V4l2Camera, V4l2Grab, testing::Values(
    GrabRow{"Mjpeg", {{V4L2_PIX_FMT_MJPEG, {{320, 240}, {352, 288}}}}, 0, true,
            {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_MJPEG}, 4},
    GrabRow{"MjpegWithoutHuffmanTables", {{V4L2_PIX_FMT_MJPEG, {{640, 480}}}}, 0, false,
            {V4L2_PIX_FMT_MJPEG}, 4},
    GrabRow{"YuyvWithPaddedRowsWhereMjpegLacksTheSize",
            {{V4L2_PIX_FMT_YUYV, {{320, 240}, {352, 288}}}, {V4L2_PIX_FMT_MJPEG, {{320, 240}}}},
            12, true, {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV}, 4},
    GrabRow{"Bgr24WithPaddedRows", {{V4L2_PIX_FMT_BGR24, {{160, 120}}}}, 7, true,
            {V4L2_PIX_FMT_BGR24}, 1}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The camera is pulled out and comes back on another node, after another camera took its
// old node meanwhile: by its bus, or by its stable name while its twin is not taken.
struct ReconnectRow {
    const char* stableName;
    const char* backOnBus;
    const char* otherCard;
    const char* otherBus;
    const char* otherStableName;
};

class V4l2CameraReconnect : public V4l2CameraTest,
                            public testing::WithParamInterface<ReconnectRow> {};

TEST_P(V4l2CameraReconnect, ComesBackWithItsSettingsWhereverItIsAndNoOtherIsTakenForIt) {
    const ReconnectRow& row = GetParam();
    const FrameSize chosen{640, 480}; // not the size it starts in after a power loss
    offer({{V4L2_PIX_FMT_MJPEG, {{320, 240}, chosen}}}, row.stableName);
    fake->controls = {FakeV4l2Camera::control(V4L2_CID_BRIGHTNESS, 128)};
    RecordingTarget preview; // outlives the camera
    auto camera = makeCamera({20s, 1h, 10ms, 40ms}, row.stableName);
    ASSERT_TRUE(camera.open());
    ASSERT_TRUE(camera.setFrameSize(chosen));
    ASSERT_TRUE(camera.setControl(V4L2_CID_BRIGHTNESS, 99));
    camera.setFramePeriod(100000us);
    camera.startPreview(preview, 0ms);
    const auto frame = frameOf(TestSource::render(chosen, 1));
    ASSERT_TRUE(waitUntil([&] { return fake->push(frame), preview.frames > 0; }));

    fake->unplug();
    nodes.remove("/dev/video0");
    ASSERT_TRUE(waitUntil([&] {
        return fake->lock(), fake->openDevices + fake->liveMappings == 0;
    })) << "the lost camera is let go";
    EXPECT_FALSE(grabbed(camera)) << "grabs fail while it is away";
    const int shown = preview.frames;
    auto other = FakeV4l2Camera::create(row.otherCard, row.otherBus);
    nodes.plug("/dev/video0", other, row.otherStableName);
    const int listed = nodes.listings();
    ASSERT_TRUE(waitUntil([&] { return nodes.listings() >= listed + 3; }));
    EXPECT_FALSE(grabbed(camera)) << "the other camera is not taken for it";
    std::strncpy(reinterpret_cast<char*>((fake->lock(), fake->capability.bus_info)), row.backOnBus,
                 31);
    fake->plugIn();
    nodes.plug("/dev/video3", fake, row.stableName);

    ASSERT_TRUE(waitUntil([&] {
        return grabFeeding(camera, {{frame, 0}}).has_value();
    })) << "back without a call";
    EXPECT_TRUE(waitUntil([&] { return fake->push(frame), preview.frames > shown; }))
        << "the preview is back";
    const auto lock = fake->lock();
    EXPECT_EQ(fake->width, 640u);
    EXPECT_EQ(fake->frameInterval.numerator * 10, fake->frameInterval.denominator);
    EXPECT_EQ(fake->controls[0].value, 99);
    EXPECT_EQ((other->lock(), other->openDevices), 0);
    ASSERT_EQ(told().size(), 2u) << testing::PrintToString(told());
    EXPECT_EQ(told()[0], "kavriWebCam: camera lost: Fake Cam at /dev/video0: No such device");
    EXPECT_THAT(told()[1], testing::StartsWith("kavriWebCam: camera back after "));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(V4l2Camera, V4l2CameraReconnect, testing::Values(
    ReconnectRow{"", "usb-1", "Other Cam", "usb-1", ""},
    ReconnectRow{"/dev/v4l/by-id/usb-Fake_Cam_111-video-index0", "usb-3", "Fake Cam", "usb-2",
                 "/dev/v4l/by-id/usb-Fake_Cam_222-video-index0"}));
// clang-format on

TEST_F(V4l2CameraTest, GrabFailsByItsDeadlineAndACameraThatStallsIsOpenedAgain) {
    offer({{V4L2_PIX_FMT_MJPEG, {{320, 240}}}});
    auto camera = makeCamera({100ms, 300ms, 10ms, 40ms});
    ASSERT_TRUE(camera.open());
    EXPECT_FALSE(grabbed(camera));
    ASSERT_TRUE(waitUntil([&] { return !told().empty(); }));
    EXPECT_EQ(told()[0], "kavriWebCam: camera lost: Fake Cam at /dev/video0: no frame for 300 ms");
    const auto frame = frameOf(TestSource::render({320, 240}, 1));
    EXPECT_TRUE(waitUntil([&] { return grabFeeding(camera, {{frame, 0}}).has_value(); }));
}

} // namespace
