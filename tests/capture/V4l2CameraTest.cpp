#include "capture/v4l2/V4l2Camera.h"

#include "capture/Capture.h"
#include "capture/DriverCaptureService.h"
#include "capture/HeadlessPreviewSink.h"
#include "capture/TestSource.h"
#include "tests/support/CameraFrames.h"
#include "tests/support/Deadline.h"
#include "tests/support/FakeV4l2Camera.h"
#include "tests/support/FakeVideoNodes.h"
#include "tests/support/SettingsSnapshot.h"
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

// The last frame shown may be read once the preview is stopped.
class RecordingTarget : public CaptureDriver::PreviewTarget {
public:
    bool wantsFrames() const override { return looking; }
    std::optional<FrameSize> stretchedSize() const override { return stretchedTo; }
    void showFrame(const Surface& frame) override { (last = frame, ++frames); }
    std::optional<FrameSize> stretchedTo;
    bool looking = true;
    std::atomic<int> frames{0};
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
    FakeV4l2Camera::Bytes frameOf(const Surface& picture) {
        auto lock = fake->lock();
        return std::make_shared<const std::vector<std::uint8_t>>(
            CameraFrames::make(fake->pixelFormat, picture, fake->rowPadding));
    }
    // Grabs while the camera delivers these frames, with their buffer flags, over and over.
    std::optional<Surface> grabFeeding(V4l2Camera& camera,
                                       std::vector<std::pair<FakeV4l2Camera::Bytes, int>> frames) {
        auto grab = std::async(std::launch::async, [&] { return grabbed(camera); });
        for (std::size_t i = 0; grab.wait_for(2ms) != std::future_status::ready; ++i) {
            fake->push(frames[i % frames.size()].first, frames[i % frames.size()].second);
        }
        return grab.get();
    }
    std::vector<std::string> told() { return (std::lock_guard(mutex), lines); }

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
    std::vector<std::uint32_t> streamed; // the format streamed at each size offered
    int previewReduction; // of a preview a quarter of the size; 0: nobody looks at it
};

class V4l2Grab : public V4l2CameraTest, public testing::WithParamInterface<GrabRow> {};

// Each size in the camera's own format, MJPEG where it can: the frame that comes after the
// grab asked, upright in its colours, damaged ones skipped; the preview made no larger than
// the window needs, and none made while nobody looks (the window hidden, or no display).
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
        const auto flagged = std::make_shared<const std::vector<std::uint8_t>>(old);
        fake->push(flagged);
        ASSERT_TRUE(fake->waitUntilHandled());
        old.resize(old.size() * 2 / 3);
        const auto cutShort = std::make_shared<const std::vector<std::uint8_t>>(old);
        const Surface picture = TestSource::render(size, 1);
        const auto bytes = frameOf(picture);
        const auto frame =
            grabFeeding(camera, {{flagged, V4L2_BUF_FLAG_ERROR}, {cutShort, 0}, {bytes, 0}});
        ASSERT_TRUE(frame && frame->width() == size.width && frame->height() == size.height);
        EXPECT_LT(meanDifference(*frame, picture), codingTolerance) << size.width;

        RecordingTarget target;
        target.stretchedTo = FrameSize{size.width / 4, size.height / 4};
        const int reduction = GetParam().previewReduction;
        target.looking = reduction > 0;
        const int converted = (fake->lock(), fake->conversions);
        camera.startPreview(target, 0ms);
        for (int frame = 0; frame < 3 && !target.looking; ++frame) {
            fake->push(bytes);
            ASSERT_TRUE(fake->waitUntilHandled()) << "waited for the camera to take a frame";
        }
        if (!target.looking) {
            camera.stopPreview();
            EXPECT_EQ((fake->lock(), fake->conversions), converted);
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return fake->push(bytes), target.frames >= 1; }));
        camera.stopPreview();
        const FrameSize made{size.width / reduction, size.height / reduction};
        ASSERT_TRUE(target.last->width() == made.width && target.last->height() == made.height);
        EXPECT_LT(meanDifference(*target.last, TestSource::render(made, 1)), codingTolerance);
    }
    camera.close();
    EXPECT_EQ(fake->liveMappings + fake->openDevices, 0) << "the camera is free for others";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(V4l2Camera, V4l2Grab, testing::Values(
    GrabRow{"Mjpeg", {{V4L2_PIX_FMT_MJPEG, {{320, 240}, {352, 288}}}}, 0,
            {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_MJPEG}, 4},
    GrabRow{"YuyvWithPaddedRowsWhereMjpegLacksTheSize",
            {{V4L2_PIX_FMT_YUYV, {{320, 240}, {352, 288}}}, {V4L2_PIX_FMT_MJPEG, {{320, 240}}}},
            12, {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV}, 4},
    GrabRow{"Bgr24WithPaddedRows", {{V4L2_PIX_FMT_BGR24, {{160, 120}}}}, 7, {V4L2_PIX_FMT_BGR24}, 1},
    GrabRow{"MjpegWithNobodyLooking", {{V4L2_PIX_FMT_MJPEG, {{320, 240}}}}, 0, {V4L2_PIX_FMT_MJPEG}, 0}),
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

// The dialogs as the user answers them: the size chosen, the controls edited.
class ScriptedDialogs : public CaptureDialogs {
public:
    std::optional<std::size_t> chooseFrameSize(const std::string&,
                                               const std::vector<FrameSize>& sizes,
                                               std::size_t current) override {
        shownSizes = {sizes.at(current), sizes.size()};
        return chooseSize;
    }
    std::optional<std::vector<std::int32_t>>
    editControls(const std::string& device, const std::vector<CameraControl>& controls,
                 const ControlChanged& changed) override {
        shownControls = {device, controls.size()};
        return edit(controls, changed);
    }
    std::optional<std::size_t> chooseSize;
    std::function<std::optional<std::vector<std::int32_t>>(const std::vector<CameraControl>&,
                                                           const ControlChanged&)>
        edit;
    std::pair<FrameSize, std::size_t> shownSizes;
    std::pair<std::string, std::size_t> shownControls;
};

class DriverCaptureServiceTest : public V4l2CameraTest {
protected:
    SettingsSnapshot keepSettings;
    HeadlessPreviewSink preview;
    ScriptedDialogs dialogs;
};

TEST_F(DriverCaptureServiceTest, TheDialogsSetTheChosenSizeAndTheChangedControlsForGood) {
    using Camera = FakeV4l2Camera;
    fake->controls = {
        Camera::control(V4L2_CID_BRIGHTNESS, 10), Camera::control(V4L2_CID_CONTRAST, 20),
        Camera::control(V4L2_CID_SATURATION, 30, V4L2_CTRL_TYPE_INTEGER, V4L2_CTRL_FLAG_DISABLED),
        Camera::control(V4L2_CID_POWER_LINE_FREQUENCY, 1, V4L2_CTRL_TYPE_MENU)};
    fake->controls[3].query.maximum = 3;
    fake->controls[3].menu = {"Disabled", "50 Hz", "", "Auto"};
    offer({{V4L2_PIX_FMT_MJPEG, {{320, 240}, {352, 288}}}});
    // Brightness is set behind the program's back, where the dialog must leave it. The
    // camera follows the dialog as it is changed.
    std::vector<CameraControl> shown;
    dialogs.edit = [&](const std::vector<CameraControl>& controls, const auto& changed) {
        shown = controls;
        fake->controls[0].value = 50;
        changed(2, 3);
        EXPECT_EQ(fake->controls[3].value, 3);
        changed(1, 60);
        return std::optional<std::vector<std::int32_t>>({controls[0].value, 99, 3});
    };
    const auto start = [&] {
        std::vector<std::unique_ptr<CaptureDriver>> drivers;
        drivers.push_back(std::make_unique<V4l2Camera>(
            "/dev/video0", V4l2Camera::Identity::of(fake->capability, ""), "Fake Cam",
            nodes.machine(health)));
        auto service = std::make_unique<DriverCaptureService>(std::move(drivers), preview, dialogs);
        auto capture = std::make_unique<Capture>(*service, ParentWindow{});
        capture->initialize();
        return std::pair(std::move(service), std::move(capture));
    };
    auto [service, capture] = start();
    capture->setFrameRate(5);
    EXPECT_EQ(fake->frameInterval.numerator * 5, fake->frameInterval.denominator);
    capture->showSourceDialog();
    EXPECT_EQ(dialogs.shownControls, std::make_pair(std::string("Fake Cam"), std::size_t{3}))
        << "the adjustable integers, switches and menus";
    EXPECT_EQ(shown[2].choices,
              (CameraControl::Choices{{0, "Disabled"}, {1, "50 Hz"}, {3, "Auto"}}));
    EXPECT_EQ(fake->controls[0].value, 50);
    EXPECT_EQ(fake->controls[1].value, 99);
    // Cancelled: what the dialog changed is put back.
    dialogs.edit = [&](const std::vector<CameraControl>&, const auto& changed) {
        changed(1, 7);
        EXPECT_EQ(fake->controls[1].value, 7);
        return std::optional<std::vector<std::int32_t>>();
    };
    capture->showSourceDialog();
    EXPECT_EQ(fake->controls[1].value, 99);

    capture->showFormatDialog();
    EXPECT_EQ(dialogs.shownSizes, std::make_pair(FrameSize{320, 240}, std::size_t{2}));
    dialogs.chooseSize = 1;
    capture->showFormatDialog();
    EXPECT_EQ(capture->status().uiImageWidth * 1000 + capture->status().uiImageHeight, 352288u);
    EXPECT_EQ(fake->width, 352u);

    // Started again with a camera that has forgotten all: it gets back what was set.
    capture.reset();
    service.reset();
    fake->plugIn();
    ASSERT_EQ(fake->controls[1].value, 128);
    std::tie(service, capture) = start();
    EXPECT_EQ(capture->status().uiImageWidth * 1000 + capture->status().uiImageHeight, 352288u);
    EXPECT_EQ(
        (std::vector{fake->controls[0].value, fake->controls[1].value, fake->controls[3].value}),
        (std::vector{128, 99, 3}));
    ASSERT_EQ(Settings::getCameras().size(), 1u);
    EXPECT_EQ(Settings::getCameras()[0].controls,
              (std::map<std::uint32_t, std::int32_t>{{V4L2_CID_CONTRAST, 99},
                                                     {V4L2_CID_POWER_LINE_FREQUENCY, 3}}));
}

TEST_F(DriverCaptureServiceTest, TheDeviceListFollowsCamerasThatComeAndGoAndTheOneInUse) {
    const auto b = FakeV4l2Camera::create("Cam B", "usb-2");
    nodes.plug("/dev/video0", FakeV4l2Camera::create("Cam A", "usb-1"));
    nodes.plug("/dev/video1", b);
    nodes.plug("/dev/video2", FakeV4l2Camera::create("Cam A", "usb-4"));
    DriverCaptureService service(
        [machine = nodes.machine(health)] {
            std::vector<std::shared_ptr<CaptureDriver>> drivers;
            for (auto& found : V4l2Camera::findCameras(machine)) {
                drivers.push_back(std::move(found));
            }
            drivers.push_back(std::make_shared<TestSource>());
            return drivers;
        },
        preview, dialogs);
    Capture capture(service, {});
    capture.setDeviceIndex(1);
    capture.initialize();
    using Listed = std::pair<std::vector<std::string>, std::int32_t>;
    const auto listed = [&] {
        const std::vector<std::string> names = capture.enumerateDevices();
        return Listed(names, capture.getDeviceIndex());
    };
    EXPECT_EQ(listed(), (Listed{{"Cam A (usb-1)", "Cam B", "Cam A (usb-4)", "Test Source"}, 1}));

    nodes.remove("/dev/video0");
    EXPECT_EQ(listed(), (Listed{{"Cam B", "Cam A", "Test Source"}, 0})) << "one Cam A pulled out";

    b->unplug();
    nodes.remove("/dev/video1");
    nodes.plug("/dev/video0", FakeV4l2Camera::create("Cam C", "usb-2"));
    EXPECT_EQ(listed(), (Listed{{"Cam B", "Cam C", "Cam A", "Test Source"}, 0}))
        << "the one in use stays while it is away, and Cam C on its bus is another camera";

    b->plugIn();
    nodes.plug("/dev/video3", b);
    EXPECT_EQ(listed(), (Listed{{"Cam C", "Cam A", "Cam B", "Test Source"}, 2})) << "back";
}

} // namespace
