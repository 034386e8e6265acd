#include "capture/DriverCaptureService.h"

#include "capture/Capture.h"
#include "capture/HeadlessPreviewSink.h"
#include "capture/TestSource.h"
#include "capture/V4l2Camera.h"
#include "settings/Settings.h"
#include "tests/capture/FakeV4l2Camera.h"
#include "tests/capture/FakeVideoNodes.h"
#include "tests/capture/WorkingDirectory.h"
#include "tests/support/JpegImage.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/SurfacePixels.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

// Dialogs answered by the test.
class ScriptedCaptureDialogs : public CaptureDialogs {
public:
    std::optional<std::size_t> chooseFrameSize(const std::string&,
                                               const std::vector<FrameSize>& sizes,
                                               std::size_t current) override {
        shownSizes = sizes;
        shownCurrent = current;
        return chooseSize;
    }
    std::optional<std::vector<std::int32_t>>
    editControls(const std::string& device, const std::vector<CameraControl>& controls) override {
        shownDevice = device;
        shownControls = controls;
        return edit(controls);
    }

    std::optional<std::size_t> chooseSize;
    std::function<std::optional<std::vector<std::int32_t>>(const std::vector<CameraControl>&)> edit;
    std::vector<FrameSize> shownSizes;
    std::size_t shownCurrent = 0;
    std::string shownDevice;
    std::vector<CameraControl> shownControls;
};

// Everything the program would set up, with a headless preview.
class DriverCaptureServiceTest : public testing::Test {
protected:
    SettingsSnapshot keepSettings;
    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    HeadlessPreviewSink preview;
    ScriptedCaptureDialogs dialogs;
    FakeVideoNodes nodes;
    std::shared_ptr<HealthLine> health = std::make_shared<HealthLine>(V4l2Camera::healthWords);
};

TEST_F(DriverCaptureServiceTest, TheTestSourceGrabsMovingPicturesIntoTheJpegFileAtTheChosenSize) {
    Settings::setDateTimeOverlay(false);
    std::vector<std::unique_ptr<CaptureDriver>> drivers;
    drivers.push_back(std::make_unique<TestSource>());
    DriverCaptureService service(std::move(drivers), preview, dialogs);
    Capture capture(service, {});
    capture.initialize();
    EXPECT_EQ(capture.deviceNames, (std::vector<std::string>{"Test Source"}));
    ASSERT_TRUE(capture.grabFrame());
    const auto first = readJpeg("image.jpg", 320, 240);
    ASSERT_TRUE(capture.grabFrame());
    const auto second = readJpeg("image.jpg", 320, 240);
    ASSERT_TRUE(first && second);
    EXPECT_LT(meanDifference(*first, TestSource::render({320, 240}, 0)), 3) << "upright";
    EXPECT_GT(meanDifference(*second, TestSource::render({320, 240}, 0)), 3) << "it moves";

    capture.showFormatDialog();
    EXPECT_EQ(dialogs.shownSizes.at(dialogs.shownCurrent), (FrameSize{320, 240}));
    EXPECT_EQ(capture.status.uiImageWidth, 320u) << "the dialog was cancelled";
    dialogs.chooseSize = 2;
    capture.showFormatDialog();
    const FrameSize chosen = dialogs.shownSizes.at(2);
    EXPECT_EQ(capture.status.uiImageWidth, static_cast<std::uint32_t>(chosen.width));
    EXPECT_EQ(capture.status.uiImageHeight, static_cast<std::uint32_t>(chosen.height));
    ASSERT_TRUE(capture.grabFrame());
    EXPECT_TRUE(readJpeg("image.jpg", chosen.width, chosen.height));
}

TEST_F(DriverCaptureServiceTest,
       TheSourceDialogSetsTheChangedControlsAndTheFrameRateReachesTheCamera) {
    const auto camera = FakeV4l2Camera::create("Fake Cam", "usb-1");
    camera->controls = {
        FakeV4l2Camera::control(V4L2_CID_BRIGHTNESS, 10),
        FakeV4l2Camera::control(V4L2_CID_CONTRAST, 20),
        FakeV4l2Camera::control(V4L2_CID_SATURATION, 30, V4L2_CTRL_TYPE_INTEGER,
                                V4L2_CTRL_FLAG_DISABLED),
        FakeV4l2Camera::control(V4L2_CID_POWER_LINE_FREQUENCY, 1, V4L2_CTRL_TYPE_MENU)};
    nodes.plug("/dev/video0", camera);
    // Brightness is set behind the program's back, where the dialog must leave it.
    dialogs.edit = [&](const std::vector<CameraControl>& controls) {
        camera->controls[0].value = 50;
        return std::optional<std::vector<std::int32_t>>({controls[0].value, 99});
    };
    std::vector<std::unique_ptr<CaptureDriver>> drivers;
    drivers.push_back(std::make_unique<V4l2Camera>("/dev/video0",
                                                   V4l2Camera::Identity::of(camera->capability, ""),
                                                   "Fake Cam", nodes.machine(health)));
    DriverCaptureService service(std::move(drivers), preview, dialogs);
    Capture capture(service, {});
    capture.initialize();
    capture.setFrameRate(5);
    EXPECT_EQ(camera->frameInterval.numerator * 5, camera->frameInterval.denominator);
    capture.showSourceDialog();
    EXPECT_EQ(dialogs.shownDevice, "Fake Cam");
    ASSERT_EQ(dialogs.shownControls.size(), 2u) << "the adjustable integers and switches";
    EXPECT_EQ(camera->controls[0].value, 50);
    EXPECT_EQ(camera->controls[1].value, 99);
}

TEST_F(DriverCaptureServiceTest, TheDeviceListFollowsCamerasThatComeAndGoAndTheOneInUse) {
    const auto a = FakeV4l2Camera::create("Cam A", "usb-1");
    const auto b = FakeV4l2Camera::create("Cam B", "usb-2");
    nodes.plug("/dev/video0", a);
    nodes.plug("/dev/video1", b);
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
    capture.deviceIndex = 1;
    capture.initialize();
    using Listed = std::pair<std::vector<std::string>, std::int32_t>;
    const auto listed = [&] { return Listed(capture.enumerateDevices(), capture.deviceIndex); };
    EXPECT_EQ(listed(), (Listed{{"Cam A", "Cam B", "Test Source"}, 1}));

    nodes.remove("/dev/video0");
    EXPECT_EQ(listed(), (Listed{{"Cam B", "Test Source"}, 0})) << "Cam A pulled out";

    b->unplug();
    nodes.remove("/dev/video1");
    nodes.plug("/dev/video0", FakeV4l2Camera::create("Cam C", "usb-2"));
    EXPECT_EQ(listed(), (Listed{{"Cam B", "Cam C", "Test Source"}, 0}))
        << "the one in use stays while it is away, and Cam C on its bus is another camera";

    b->plugIn();
    nodes.plug("/dev/video2", b);
    EXPECT_EQ(listed(), (Listed{{"Cam C", "Cam B", "Test Source"}, 1})) << "back on video2";
}

} // namespace
