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

// The frame the fake camera delivers of picture in the format and size it streams now.
FakeV4l2Camera::Bytes frameOf(FakeV4l2Camera& fake, const Surface& picture,
                              bool huffmanTables = true) {
    auto lock = fake.lock();
    return std::make_shared<const std::vector<std::uint8_t>>(
        CameraFrames::make(fake.pixelFormat, picture, fake.rowPadding, huffmanTables));
}

// Feeds frames until a grab, asked for before the first, is done.
std::optional<Surface> feedUntil(std::future<std::optional<Surface>> grab, FakeV4l2Camera& fake,
                                 const FakeV4l2Camera::Bytes& frame) {
    while (grab.wait_for(5ms) != std::future_status::ready) {
        fake.push(frame);
    }
    return grab.get();
}

std::future<std::optional<Surface>> grabLater(V4l2Camera& camera) {
    return std::async(std::launch::async, [&] { return grabbed(camera); });
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
    V4l2CameraTest() { nodes.plug("/dev/video0", fake); }

    // The camera delivers these formats, and is set to the first size of the first.
    void offer(std::vector<FakeV4l2Camera::Format> formats) {
        fake->formats = std::move(formats);
        fake->plugIn();
    }
    // Timing long enough never to be reached by a test that is not about it.
    V4l2Camera makeCamera(V4l2Camera::Timing timing = {20s, 1h, 1h, 1h},
                          const std::string& stableName = "") {
        return V4l2Camera("/dev/video0", V4l2Camera::Identity::of(fake->capability, stableName),
                          "Fake Cam", nodes.machine(health, timing));
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

TEST(V4l2CameraFind, ListsCapturingNodesInOrderAndTellsTwinsApartByBus) {
    const std::vector<std::shared_ptr<FakeV4l2Camera>> cameras{
        FakeV4l2Camera::create("HD Cam", "usb-1"), FakeV4l2Camera::create("HD Cam", "usb-1"),
        FakeV4l2Camera::create("HD Cam", "usb-2"), FakeV4l2Camera::create("Cannot Open"),
        FakeV4l2Camera::create("Old Cam")};
    // The metadata node of the first camera.
    cameras[1]->capability.capabilities |= V4L2_CAP_DEVICE_CAPS;
    cameras[1]->capability.device_caps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    cameras[3]->unplug();
    FakeVideoNodes nodes;
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        nodes.plug("/dev/video" + std::to_string(i), cameras[i]);
    }
    std::vector<std::string> descriptions;
    for (const auto& camera : V4l2Camera::findCameras(nodes.machine(nullptr))) {
        descriptions.push_back(camera->description());
    }
    EXPECT_EQ(descriptions,
              (std::vector<std::string>{"HD Cam (usb-1)", "HD Cam (usb-2)", "Old Cam"}));
    EXPECT_EQ(cameras[0]->openDevices + cameras[4]->openDevices, 0) << "closed again";
}

struct GrabRow {
    const char* name;
    std::vector<FakeV4l2Camera::Format> formats;
    std::uint32_t rowPadding;
    bool huffmanTables;
    std::vector<std::uint32_t> streamed; // the format streamed at each size offered
    int previewReduction;                // of a preview a quarter of the size
};

class V4l2Grab : public V4l2CameraTest, public testing::WithParamInterface<GrabRow> {};

// Each size in the camera's own format, MJPEG where it can, upright in its colours; the
// preview made no larger than the window needs.
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
        const Surface picture = TestSource::render(size, 1);
        const auto bytes = frameOf(*fake, picture, GetParam().huffmanTables);
        const auto frame = feedUntil(grabLater(camera), *fake, bytes);
        ASSERT_TRUE(frame && frame->width() == size.width && frame->height() == size.height);
        EXPECT_LT(meanDifference(*frame, picture), codingTolerance) << size.width;

        RecordingTarget target;
        target.stretchedTo = FrameSize{size.width / 4, size.height / 4};
        camera.startPreview(target, 0ms);
        ASSERT_TRUE(waitUntil([&] { return fake->push(bytes), target.frames >= 1; }));
        camera.stopPreview();
        const FrameSize made{size.width / GetParam().previewReduction,
                             size.height / GetParam().previewReduction};
        ASSERT_EQ(target.last->width(), made.width);
        ASSERT_EQ(target.last->height(), made.height);
        EXPECT_LT(meanDifference(*target.last, TestSource::render(made, 1)), codingTolerance)
            << made.width;
    }
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

TEST_F(V4l2CameraTest, DamagedFramesAreSkippedForTheNextGoodOne) {
    offer({{V4L2_PIX_FMT_MJPEG, {{320, 240}}}});
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    auto damaged = *frameOf(*fake, TestSource::render({320, 240}, 40));
    const auto flagged = std::make_shared<const std::vector<std::uint8_t>>(damaged);
    damaged.resize(damaged.size() * 2 / 3);
    const auto cutShort = std::make_shared<const std::vector<std::uint8_t>>(damaged);
    auto grab = grabLater(camera);
    for (int i = 0; i < 5; ++i) {
        fake->push(flagged, V4L2_BUF_FLAG_ERROR);
        fake->push(cutShort);
        ASSERT_TRUE(fake->waitUntilHandled());
    }
    ASSERT_NE(grab.wait_for(0ms), std::future_status::ready) << "a damaged frame was taken";
    const Surface picture = TestSource::render({320, 240}, 1);
    const auto frame = feedUntil(std::move(grab), *fake, frameOf(*fake, picture));
    ASSERT_TRUE(frame);
    EXPECT_LT(meanDifference(*frame, picture), codingTolerance);
}

TEST_F(V4l2CameraTest, GrabTakesAFrameThatArrivesAfterTheRequestAndFailsByItsDeadline) {
    offer({{V4L2_PIX_FMT_MJPEG, {{64, 48}}}});
    // A frame comes well within the deadline, even on a busy machine.
    auto camera = makeCamera({2s, 1h, 1h, 1h});
    ASSERT_TRUE(camera.open());
    fake->push(frameOf(*fake, filled(64, 48, {255, 0, 0})));
    ASSERT_TRUE(fake->waitUntilHandled());
    const Surface fresh = filled(64, 48, {0, 0, 255});
    const auto frame = feedUntil(grabLater(camera), *fake, frameOf(*fake, fresh));
    ASSERT_TRUE(frame);
    EXPECT_LT(meanDifference(*frame, fresh), codingTolerance) << "not the frame from before";
    EXPECT_FALSE(grabbed(camera)) << "a stalled camera";
    camera.close();
    EXPECT_EQ(fake->liveMappings + fake->openDevices, 0) << "the camera is free for others";
}

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
    offer({{V4L2_PIX_FMT_MJPEG, {{320, 240}, chosen}}});
    fake->controls = {FakeV4l2Camera::control(V4L2_CID_BRIGHTNESS, 128)};
    nodes.plug("/dev/video0", fake, row.stableName);
    RecordingTarget preview; // outlives the camera
    auto camera = makeCamera({20s, 1h, 10ms, 40ms}, row.stableName);
    ASSERT_TRUE(camera.open());
    ASSERT_TRUE(camera.setFrameSize(chosen));
    ASSERT_TRUE(camera.setControl(V4L2_CID_BRIGHTNESS, 99));
    camera.setFramePeriod(100000us);
    camera.startPreview(preview, 0ms);
    const auto frame = frameOf(*fake, TestSource::render(chosen, 1));
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

    ASSERT_TRUE(waitUntil([&] { return feedUntil(grabLater(camera), *fake, frame).has_value(); }))
        << "back without a call";
    EXPECT_TRUE(waitUntil([&] { return fake->push(frame), preview.frames > shown; }))
        << "the preview is back";
    const auto lock = fake->lock();
    EXPECT_EQ(fake->openedPaths.back(), "/dev/video3");
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

TEST_F(V4l2CameraTest, CameraThatStallsIsOpenedAgain) {
    offer({{V4L2_PIX_FMT_MJPEG, {{320, 240}}}});
    auto camera = makeCamera({20s, 300ms, 10ms, 40ms});
    ASSERT_TRUE(camera.open());
    ASSERT_TRUE(waitUntil([&] { return !told().empty(); }));
    EXPECT_EQ(told()[0], "kavriWebCam: camera lost: Fake Cam at /dev/video0: no frame for 300 ms");
    const auto frame = frameOf(*fake, TestSource::render({320, 240}, 1));
    EXPECT_TRUE(waitUntil([&] { return feedUntil(grabLater(camera), *fake, frame).has_value(); }));
}

} // namespace
