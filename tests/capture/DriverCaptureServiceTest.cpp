#include "capture/DriverCaptureService.h"

#include "capture/Capture.h"
#include "capture/DibFile.h"
#include "capture/HeadlessCaptureDialogs.h"
#include "capture/HeadlessPreviewSink.h"
#include "capture/LibV4l2Device.h"
#include "capture/SystemCaptureService.h"
#include "capture/TestSource.h"
#include "capture/V4l2Camera.h"
#include "image/Dib.h"
#include "tests/capture/CameraFrames.h"
#include "tests/capture/FakeV4l2Camera.h"
#include "tests/capture/FakeVideoNodes.h"
#include "tests/capture/ScriptedCaptureDialogs.h"
#include "tests/capture/WorkingDirectory.h"
#include "tests/support/Deadline.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/JpegImage.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>

namespace {

using namespace std::chrono_literals;
using Msg = CaptureMessage;

class RecordingSink : public PreviewSink {
public:
    bool wantsFrames() const override { return true; }
    void showFrame(const Surface& frame, int windowWidth, int windowHeight, bool stretch) override {
        frameWidth = frame.width();
        width = windowWidth;
        height = windowHeight;
        stretched = stretch;
        ++frames;
    }
    std::atomic<int> frames{0};
    std::atomic<int> frameWidth{0};
    std::atomic<int> width{0};
    std::atomic<int> height{0};
    std::atomic<bool> stretched{false};
};

std::shared_ptr<FakeV4l2Camera> fakeCamera() {
    auto camera = FakeV4l2Camera::create();
    camera->capability.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    camera->width = 8;
    camera->height = 6;
    return camera;
}

std::vector<std::uint8_t> grey(int width, int height, std::uint8_t level) {
    return std::vector<std::uint8_t>(static_cast<std::size_t>(width * height * 3), level);
}

class DriverCaptureServiceTest : public testing::Test {
protected:
    DriverCaptureService& serviceWith(std::vector<std::unique_ptr<CaptureDriver>> drivers) {
        service = std::make_unique<DriverCaptureService>(std::move(drivers), sink, dialogs);
        return *service;
    }
    DriverCaptureService& serviceWithTestSource() {
        std::vector<std::unique_ptr<CaptureDriver>> drivers;
        drivers.push_back(std::make_unique<TestSource>());
        return serviceWith(std::move(drivers));
    }
    DriverCaptureService& serviceWithCamera(std::chrono::milliseconds grabTimeout = 20s) {
        nodes.plug("/dev/video0", camera);
        std::vector<std::unique_ptr<CaptureDriver>> drivers;
        drivers.push_back(std::make_unique<V4l2Camera>(
            "/dev/video0", V4l2Camera::Identity{}, "Fake Cam",
            nodes.machine(health, {grabTimeout, std::chrono::hours(1)})));
        return serviceWith(std::move(drivers));
    }
    CaptureWindow window(DriverCaptureService& on) {
        return on.createCaptureWindow("w", CaptureService::childVisibleStyle, 0, 0, 160, 120, {},
                                      303);
    }

    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    RecordingSink sink;
    ScriptedCaptureDialogs dialogs;
    std::shared_ptr<FakeV4l2Camera> camera = fakeCamera();
    FakeVideoNodes nodes;
    std::shared_ptr<HealthLine> health = std::make_shared<HealthLine>(
        V4l2Camera::healthWords, std::chrono::steady_clock::now, [](const std::string&) {});
    std::unique_ptr<DriverCaptureService> service;
};

TEST_F(DriverCaptureServiceTest, AnswersNothingBeforeADriverIsConnected) {
    auto& service = serviceWithTestSource();
    const CaptureWindow handle = window(service);
    EXPECT_TRUE(service.isWindow(handle));
    EXPECT_FALSE(service.isWindow(handle + 1));
    DriverCaps caps;
    EXPECT_EQ(service.sendMessage(handle, Msg::WM_CAP_DRIVER_GET_CAPS, 0, &caps), 0);
    EXPECT_EQ(service.sendMessage(handle, Msg::WM_CAP_GRAB_FRAME, 0, {}), 0);
    EXPECT_EQ(service.sendMessage(handle, Msg::WM_CAP_FILE_SAVEDIBA, 0, "_temp.dib"), 0);
    EXPECT_EQ(service.sendMessage(handle, Msg::WM_CAP_DLG_VIDEOFORMAT, 0, {}), 0);
    EXPECT_EQ(service.sendMessage(handle, Msg::WM_CAP_DRIVER_CONNECT, 1, {}), 0) << "no index 1";
    EXPECT_EQ(service.sendMessage(handle + 1, Msg::WM_CAP_DRIVER_CONNECT, 0, {}), 0);
    EXPECT_FALSE(std::filesystem::exists("_temp.dib"));
}

TEST_F(DriverCaptureServiceTest, DescriptionsFollowTheDriverListAndItsBuffer) {
    auto& service = serviceWithTestSource();
    EXPECT_EQ(service.getDriverDescription(0, 150), "Test Source");
    EXPECT_EQ(service.getDriverDescription(0, 5), "Test");
    EXPECT_FALSE(service.getDriverDescription(1, 150));
}

TEST_F(DriverCaptureServiceTest, ADriverServesOneWindowAtATime) {
    auto& service = serviceWithTestSource();
    const CaptureWindow first = window(service);
    const CaptureWindow second = window(service);
    EXPECT_EQ(service.sendMessage(first, Msg::WM_CAP_DRIVER_CONNECT, 0, {}), 1);
    EXPECT_EQ(service.sendMessage(first, Msg::WM_CAP_DRIVER_CONNECT, 0, {}), 1) << "again";
    EXPECT_EQ(service.sendMessage(second, Msg::WM_CAP_DRIVER_CONNECT, 0, {}), 0);
    service.destroyWindow(first);
    EXPECT_FALSE(service.isWindow(first));
    EXPECT_EQ(service.sendMessage(second, Msg::WM_CAP_DRIVER_CONNECT, 0, {}), 1)
        << "a destroyed window lets go of its driver";
}

TEST_F(DriverCaptureServiceTest, MouseOverThePreviewReachesTheParentThroughTheHook) {
    auto& service = serviceWithTestSource();
    std::vector<MouseMessage> atParent;
    ParentWindow parent;
    parent.mouse = [&](MouseMessage message, std::uintptr_t, std::intptr_t) {
        atParent.push_back(message);
        return std::intptr_t{0};
    };
    Capture capture(service, parent);
    const CaptureWindow handle = 1;
    ASSERT_TRUE(service.isWindow(handle));
    EXPECT_EQ(service.mouseMessage(handle, MouseMessage::WM_LBUTTONDOWN, 1, 0x00050004),
              std::optional<std::intptr_t>(0));
    EXPECT_FALSE(service.mouseMessage(handle, MouseMessage::WM_RBUTTONUP, 0, 0));
    EXPECT_FALSE(service.mouseMessage(handle + 1, MouseMessage::WM_MOUSEMOVE, 0, 0));
    EXPECT_EQ(atParent, (std::vector<MouseMessage>{MouseMessage::WM_LBUTTONDOWN}));
}

TEST_F(DriverCaptureServiceTest, SequenceSetupKeepsWhatWasSetAndReachesTheCamera) {
    auto& service = serviceWithCamera();
    const CaptureWindow handle = window(service);
    ASSERT_EQ(service.sendMessage(handle, Msg::WM_CAP_DRIVER_CONNECT, 0, {}), 1);
    CaptureParms parms;
    ASSERT_EQ(service.sendMessage(handle, Msg::WM_CAP_GET_SEQUENCE_SETUP, 0, &parms), 1);
    parms.dwRequestMicroSecPerFrame = 200000;
    parms.fYield = true;
    ASSERT_EQ(service.sendMessage(handle, Msg::WM_CAP_SET_SEQUENCE_SETUP, 0, &parms), 1);
    CaptureParms readBack;
    service.sendMessage(handle, Msg::WM_CAP_GET_SEQUENCE_SETUP, 0, &readBack);
    EXPECT_EQ(readBack.dwRequestMicroSecPerFrame, 200000u);
    EXPECT_TRUE(readBack.fYield);
    EXPECT_EQ(camera->frameInterval.numerator, 200000u);
    EXPECT_EQ(camera->frameInterval.denominator, 1000000u);
}

TEST_F(DriverCaptureServiceTest, PreviewGoesToTheSinkAtTheWindowSizeWhileOn) {
    camera->formats = {{V4L2_PIX_FMT_MJPEG, {}}};
    camera->width = 320;
    camera->height = 240;
    const auto frame = std::make_shared<const std::vector<std::uint8_t>>(
        CameraFrames::make(V4L2_PIX_FMT_MJPEG, TestSource::render({320, 240}, 1)));
    const auto shows = [&](int frameWidth) {
        return waitUntil([&] {
            camera->push(frame);
            return sink.frameWidth == frameWidth;
        });
    };
    auto& service = serviceWithCamera();
    Capture capture(service, {});
    capture.initialize();
    capture.setFrameRate(1000);
    capture.resizeWindow(240, 180);
    ASSERT_TRUE(shows(320));
    EXPECT_EQ(sink.width, 240);
    EXPECT_EQ(sink.height, 180);
    EXPECT_TRUE(sink.stretched) << "connect turns scaling on";
    capture.resizeWindow(80, 60);
    EXPECT_TRUE(shows(80)) << "a smaller frame for a smaller window";
    service.sendMessage(1, Msg::WM_CAP_SET_SCALE, 0, {});
    EXPECT_TRUE(shows(320)) << "the whole frame where it is not stretched";

    capture.close();
    const int shown = sink.frames;
    EXPECT_EQ(sink.frames, shown) << "no frames once the preview is off";
}

TEST_F(DriverCaptureServiceTest, HeadlessPreviewAndDialogsDoNothingVisible) {
    HeadlessPreviewSink headless;
    HeadlessCaptureDialogs none;
    std::vector<std::unique_ptr<CaptureDriver>> drivers;
    drivers.push_back(std::make_unique<TestSource>());
    DriverCaptureService quiet(std::move(drivers), headless, none);
    Capture capture(quiet, {});
    capture.initialize();
    capture.showFormatDialog();
    EXPECT_EQ(capture.status.uiImageWidth, 320u) << "the dialog was cancelled";
    EXPECT_TRUE(capture.grabFrame());
}

TEST_F(DriverCaptureServiceTest, SourceDialogSetsTheControlsThatChanged) {
    FakeV4l2Camera::Control brightness{};
    brightness.query.id = V4L2_CID_BRIGHTNESS;
    brightness.query.type = V4L2_CTRL_TYPE_INTEGER;
    brightness.query.maximum = 255;
    brightness.value = 10;
    FakeV4l2Camera::Control contrast = brightness;
    contrast.query.id = V4L2_CID_CONTRAST;
    contrast.value = 20;
    camera->controls = {brightness, contrast};
    dialogs.edit = [](const std::vector<CameraControl>& controls) {
        return std::optional<std::vector<std::int32_t>>({controls[0].value, 99});
    };
    auto& service = serviceWithCamera();
    Capture capture(service, {});
    capture.initialize();
    EXPECT_TRUE(capture.driverCaps.fHasDlgVideoSource);
    capture.showSourceDialog();
    EXPECT_EQ(dialogs.shownDevice, "Fake Cam");
    EXPECT_EQ(camera->controlsSet,
              (std::vector<std::pair<std::uint32_t, std::int32_t>>{{V4L2_CID_CONTRAST, 99}}));
}

TEST_F(DriverCaptureServiceTest, CameraWithoutControlsOrSizesHasNoDialogs) {
    auto& service = serviceWithCamera();
    Capture capture(service, {});
    capture.initialize();
    EXPECT_FALSE(capture.driverCaps.fHasDlgVideoSource);
    EXPECT_FALSE(capture.driverCaps.fHasDlgVideoFormat);
    EXPECT_FALSE(capture.driverCaps.fHasDlgVideoDisplay);
    capture.showSourceDialog();
    capture.showFormatDialog();
    EXPECT_EQ(dialogs.sourceDialogs + dialogs.formatDialogs, 0);
    EXPECT_EQ(capture.status.uiImageWidth, 8u);
    EXPECT_EQ(capture.status.uiImageHeight, 6u);
}

TEST_F(DriverCaptureServiceTest, UnpluggedCameraFailsTheGrabAndKeepsTheLastJpeg) {
    auto& service = serviceWithCamera();
    Capture capture(service, {});
    capture.initialize();

    auto grab = std::async(std::launch::async, [&] { return capture.grabFrame(); });
    while (grab.wait_for(5ms) != std::future_status::ready) {
        camera->push(grey(8, 6, 0x80));
    }
    ASSERT_TRUE(grab.get());
    const auto before = JpegImage::read("image.jpg");
    ASSERT_TRUE(before);

    camera->unplug();
    EXPECT_FALSE(capture.grabFrame());
    const auto after = JpegImage::read("image.jpg");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->rgb, before->rgb);
    capture.close();
    EXPECT_EQ(camera->openDevices, 0);
}

TEST_F(DriverCaptureServiceTest, StalledCameraFailsTheGrabByItsDeadline) {
    auto& service = serviceWithCamera(100ms);
    Capture capture(service, {});
    capture.initialize();
    EXPECT_FALSE(capture.grabFrame());
    EXPECT_FALSE(std::filesystem::exists("image.jpg"));
}

TEST_F(DriverCaptureServiceTest, TheDeviceListFollowsCamerasThatComeAndGoAndTheOneInUse) {
    const auto cameraNamed = [](const char* card, const char* bus) {
        auto named = fakeCamera();
        std::strncpy(reinterpret_cast<char*>(named->capability.card), card, 31);
        std::strncpy(reinterpret_cast<char*>(named->capability.bus_info), bus, 31);
        return named;
    };
    const auto a = cameraNamed("Cam A", "usb-1");
    const auto b = cameraNamed("Cam B", "usb-2");
    nodes.plug("/dev/video0", a);
    nodes.plug("/dev/video1", b);
    const auto machine = nodes.machine(health);
    DriverCaptureService service(
        [&] {
            std::vector<std::shared_ptr<CaptureDriver>> drivers;
            for (auto& found : V4l2Camera::findCameras(machine)) {
                drivers.push_back(std::move(found));
            }
            drivers.push_back(std::make_shared<TestSource>());
            return drivers;
        },
        sink, dialogs);
    Capture capture(service, {});
    capture.deviceIndex = 1;
    capture.initialize();
    const auto listed = [&] {
        return std::make_pair(capture.enumerateDevices(), capture.deviceIndex);
    };
    using Listed = std::pair<std::vector<std::string>, std::int32_t>;
    EXPECT_EQ(listed(), (Listed{{"Cam A", "Cam B", "Test Source"}, 1}));

    nodes.remove("/dev/video0");
    EXPECT_EQ(listed(), (Listed{{"Cam B", "Test Source"}, 0})) << "Cam A pulled out";

    b->unplug();
    nodes.remove("/dev/video1");
    nodes.plug("/dev/video0", cameraNamed("Cam C", "usb-2"));
    EXPECT_EQ(listed(), (Listed{{"Cam B", "Cam C", "Test Source"}, 0}))
        << "the one in use stays while it is away, and Cam C on its bus is another camera";

    b->plugIn();
    nodes.plug("/dev/video2", b);
    EXPECT_EQ(listed(), (Listed{{"Cam C", "Cam B", "Test Source"}, 1})) << "back on video2";
}

TEST_F(DriverCaptureServiceTest, ServiceWithoutCamerasListsOnlyTheTestSourceWhenAsked) {
    if (!LibV4l2Device::videoNodes().empty()) {
        GTEST_SKIP() << "this machine has video nodes";
    }
    HeadlessPreviewSink headless;
    HeadlessCaptureDialogs none;
    EXPECT_FALSE(createSystemCaptureService(false, headless, none)->getDriverDescription(0, 150));
    const auto withTestSource = createSystemCaptureService(true, headless, none);
    EXPECT_EQ(withTestSource->getDriverDescription(0, 150), "Test Source");
    EXPECT_FALSE(withTestSource->getDriverDescription(1, 150));
}

class DibFileRoundTrip : public testing::TestWithParam<int> {};

TEST_P(DibFileRoundTrip, ReadsBackPixelForPixel) {
    const int width = GetParam();
    Surface frame = *Surface::create(width, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < width * 3; ++x) {
            frame.rowFromTop(y)[x] = static_cast<std::uint8_t>(y * 50 + x * 7);
        }
    }
    TempDir dir;
    ASSERT_TRUE(writeDibFile(frame, dir.file("frame.dib")));
    EXPECT_EQ(std::filesystem::file_size(dir.file("frame.dib")), 54 + frame.stride() * 3);

    const Dib dib(dir.file("frame.dib"));
    ASSERT_TRUE(dib.isValid());
    Surface painted = *Surface::create(width, 3);
    ASSERT_TRUE(dib.paint(painted));
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(0, std::memcmp(painted.rowFromTop(y), frame.rowFromTop(y),
                                 static_cast<std::size_t>(width) * 3))
            << "row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Capture, DibFileRoundTrip, testing::Values(1, 2, 3, 4, 5, 176, 177),
                         [](const auto& info) { return "Width" + std::to_string(info.param); });

TEST(DibFile, ReportsAFileThatCannotBeWritten) {
    TempDir dir;
    EXPECT_FALSE(writeDibFile(*Surface::create(4, 4), dir.file("missing/frame.dib")));
    const Surface frame = *Surface::create(64, 64);
    ASSERT_TRUE(writeDibFile(frame, dir.file("frame.dib")));
    FileSizeLimit fullDisk(1000);
    EXPECT_FALSE(writeDibFile(frame, dir.file("frame.dib"))) << "rewritten in place";
    EXPECT_FALSE(writeDibFile(frame, dir.file("new.dib"))) << "made new";
}

} // namespace
