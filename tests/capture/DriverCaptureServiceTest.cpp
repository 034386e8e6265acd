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
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

// Dialogs answered by the test: the size it chooses, the controls as it edits them.
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
        shown = {controls.size(), device};
        return edit(controls);
    }

    std::optional<std::size_t> chooseSize;
    std::function<std::optional<std::vector<std::int32_t>>(const std::vector<CameraControl>&)> edit;
    std::vector<FrameSize> shownSizes;
    std::size_t shownCurrent = 0;
    std::pair<std::size_t, std::string> shown;
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

TEST_F(DriverCaptureServiceTest, TheDialogsSetTheChosenSizeAndTheChangedControls) {
    const auto camera = FakeV4l2Camera::create("Fake Cam", "usb-1");
    camera->formats = {{V4L2_PIX_FMT_MJPEG, {{320, 240}, {352, 288}}}};
    camera->controls = {
        FakeV4l2Camera::control(V4L2_CID_BRIGHTNESS, 10),
        FakeV4l2Camera::control(V4L2_CID_CONTRAST, 20),
        FakeV4l2Camera::control(V4L2_CID_SATURATION, 30, V4L2_CTRL_TYPE_INTEGER,
                                V4L2_CTRL_FLAG_DISABLED),
        FakeV4l2Camera::control(V4L2_CID_POWER_LINE_FREQUENCY, 1, V4L2_CTRL_TYPE_MENU)};
    camera->plugIn();
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
    EXPECT_EQ(dialogs.shown, std::make_pair(std::size_t{2}, std::string("Fake Cam")))
        << "the adjustable integers and switches";
    EXPECT_EQ(camera->controls[0].value, 50);
    EXPECT_EQ(camera->controls[1].value, 99);

    capture.showFormatDialog();
    EXPECT_EQ(dialogs.shownSizes.at(dialogs.shownCurrent), (FrameSize{320, 240}));
    dialogs.chooseSize = 1;
    capture.showFormatDialog();
    EXPECT_EQ(capture.status.uiImageWidth, 352u);
    EXPECT_EQ(capture.status.uiImageHeight, 288u);
    EXPECT_EQ(camera->width, 352u);
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
    capture.deviceIndex = 1;
    capture.initialize();
    using Listed = std::pair<std::vector<std::string>, std::int32_t>;
    const auto listed = [&] { return Listed(capture.enumerateDevices(), capture.deviceIndex); };
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
