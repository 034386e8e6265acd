#include "capture/V4l2Camera.h"

#include "capture/LibV4l2Device.h"
#include "tests/capture/FakeV4l2Camera.h"
#include "tests/support/Deadline.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <ostream>

namespace {

using namespace std::chrono_literals;

void setCard(v4l2_capability& capability, const std::string& card, const std::string& bus) {
    std::strncpy(reinterpret_cast<char*>(capability.card), card.c_str(),
                 sizeof capability.card - 1);
    std::strncpy(reinterpret_cast<char*>(capability.bus_info), bus.c_str(),
                 sizeof capability.bus_info - 1);
}

std::shared_ptr<FakeV4l2Camera> captureCamera(const std::string& card = "Fake Cam",
                                              const std::string& bus = "usb-0000:00:14.0-1") {
    auto camera = FakeV4l2Camera::create();
    camera->capability.capabilities =
        V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
    camera->capability.device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    setCard(camera->capability, card, bus);
    return camera;
}

v4l2_frmsizeenum discrete(std::uint32_t width, std::uint32_t height) {
    v4l2_frmsizeenum entry{};
    entry.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    entry.discrete = {width, height};
    return entry;
}

v4l2_frmsizeenum stepwise(std::uint32_t type, v4l2_frmsize_stepwise range) {
    v4l2_frmsizeenum entry{};
    entry.type = type;
    entry.stepwise = range;
    return entry;
}

// A frame as the device delivers it: top row first, blue-green-red, rows padded.
std::vector<std::uint8_t> deviceFrame(int width, int height, int padding, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x) {
            bytes.push_back(static_cast<std::uint8_t>(seed + y * 16 + x));
        }
        bytes.insert(bytes.end(), static_cast<std::size_t>(padding), 0xEE);
    }
    return bytes;
}

std::optional<Surface> grabbed(CaptureDriver& driver) {
    std::optional<Surface> frame;
    driver.grab(frame);
    return frame;
}

// Grabs while pushing the frame over and over, so a frame arrives after the grab asked.
std::optional<Surface> grabWhileFeeding(V4l2Camera& camera, FakeV4l2Camera& fake,
                                        const std::vector<std::uint8_t>& frame) {
    auto grab = std::async(std::launch::async, [&] { return grabbed(camera); });
    while (grab.wait_for(5ms) != std::future_status::ready) {
        fake.push(frame);
    }
    return grab.get();
}

class RecordingTarget : public CaptureDriver::PreviewTarget {
public:
    bool wantsFrames() const override { return true; }
    void showFrame(const Surface& frame) override {
        lastWidth = frame.width();
        ++frames;
    }
    std::atomic<int> frames{0};
    std::atomic<int> lastWidth{0};
};

class V4l2CameraTest : public testing::Test {
protected:
    V4l2Camera makeCamera(std::chrono::milliseconds grabTimeout = 20s) {
        return V4l2Camera("/dev/video0", "Fake Cam", fake->opener(), grabTimeout);
    }

    std::shared_ptr<FakeV4l2Camera> fake = captureCamera();
};

TEST(V4l2CameraFind, ListsCapturingNodesInOrderAndTellsTwinsApartByBus) {
    std::map<std::string, std::shared_ptr<FakeV4l2Camera>> nodes;
    nodes["/dev/video0"] = captureCamera("HD Cam", "usb-1");
    nodes["/dev/video1"] = captureCamera("HD Cam", "usb-1");
    nodes["/dev/video1"]->capability.device_caps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    nodes["/dev/video2"] = captureCamera("HD Cam", "usb-2");
    nodes["/dev/video3"] = captureCamera("Old Cam", "pci-3");
    nodes["/dev/video3"]->capability.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    nodes["/dev/video3"]->capability.device_caps = 0;
    nodes["/dev/video5"] = captureCamera("Encoder", "pci-5");
    nodes["/dev/video5"]->capability.device_caps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
    nodes["/dev/video6"] = captureCamera("Read Only", "pci-6");
    nodes["/dev/video6"]->capability.device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE;
    const V4l2Opener opener = [&](const std::string& path) -> std::unique_ptr<V4l2Device> {
        const auto found = nodes.find(path);
        return found == nodes.end() ? nullptr : found->second->opener()(path);
    };

    const auto cameras =
        V4l2Camera::findCameras({"/dev/video0", "/dev/video1", "/dev/video2", "/dev/video3",
                                 "/dev/video4", "/dev/video5", "/dev/video6"},
                                opener);

    std::vector<std::string> descriptions;
    for (const auto& camera : cameras) {
        descriptions.push_back(camera->description());
    }
    EXPECT_EQ(descriptions,
              (std::vector<std::string>{"HD Cam (usb-1)", "HD Cam (usb-2)", "Old Cam"}));
    for (const auto& [path, camera] : nodes) {
        EXPECT_EQ(camera->openDevices, 0) << path << " is closed again";
    }
}

TEST(V4l2CameraFind, ThisMachineWithoutCamerasHasNone) {
    const auto nodes = LibV4l2Device::videoNodes();
    if (!nodes.empty()) {
        GTEST_SKIP() << "this machine has video nodes, such as " << nodes.front();
    }
    EXPECT_TRUE(V4l2Camera::findCameras(nodes, &LibV4l2Device::open).empty());
}

TEST(V4l2CameraFind, VideoNodesAreOrderedByNumber) {
    TempDir dir;
    for (const char* name : {"video10", "video2", "video0", "videofoo", "vbi0", "video"}) {
        std::ofstream(dir.file(name)) << "";
    }
    EXPECT_EQ(
        LibV4l2Device::videoNodes(dir.path().string()),
        (std::vector<std::string>{dir.file("video0"), dir.file("video2"), dir.file("video10")}));
    EXPECT_TRUE(LibV4l2Device::videoNodes(dir.file("missing")).empty());
}

TEST_F(V4l2CameraTest, OpensAtTheCamerasSizeAsking24BitFrames) {
    fake->width = 642;
    fake->height = 480;
    fake->widthStep = 8;
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    EXPECT_EQ(fake->requestedFormats, (std::vector<std::uint32_t>{V4L2_PIX_FMT_BGR24}));
    EXPECT_EQ(camera.frameSize(), (FrameSize{640, 480})) << "the size the camera settled on";
    EXPECT_EQ(fake->buffersRequested, V4l2Camera::bufferCount);
    EXPECT_TRUE(fake->streaming);
    EXPECT_EQ(fake->liveMappings, 4);
    EXPECT_TRUE(waitUntil([&] { return fake->lock(), fake->queuedCount() == 4; }));
}

TEST_F(V4l2CameraTest, RefusesACameraThatCannotDeliver24BitFrames) {
    fake->answeredFormat = V4L2_PIX_FMT_YUYV;
    auto camera = makeCamera();
    EXPECT_FALSE(camera.open());
    EXPECT_FALSE(camera.isOpen());
    EXPECT_EQ(fake->openDevices, 0);
    EXPECT_FALSE(grabbed(camera));
}

TEST_F(V4l2CameraTest, RefusesACameraWithoutBuffers) {
    fake->buffersGranted = 0;
    auto camera = makeCamera();
    EXPECT_FALSE(camera.open());
    EXPECT_EQ(fake->openDevices, 0);
}

struct SizesRow {
    const char* name;
    std::vector<v4l2_frmsizeenum> enumerated;
    std::vector<FrameSize> offered;
};

void PrintTo(const SizesRow& row, std::ostream* out) {
    *out << row.name;
}

class V4l2FrameSizes : public V4l2CameraTest, public testing::WithParamInterface<SizesRow> {};

TEST_P(V4l2FrameSizes, OfferTheCamerasSizes) {
    fake->frameSizes = GetParam().enumerated;
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    EXPECT_EQ(camera.frameSizes(), GetParam().offered);
}

INSTANTIATE_TEST_SUITE_P(
    V4l2Camera, V4l2FrameSizes,
    testing::Values(
        SizesRow{"Discrete",
                 {discrete(640, 480), discrete(320, 240), discrete(1280, 720), discrete(640, 480)},
                 {{640, 480}, {320, 240}, {1280, 720}}},
        SizesRow{"Stepwise",
                 {stepwise(V4L2_FRMSIZE_TYPE_STEPWISE, {100, 1000, 4, 100, 800, 2})},
                 {{160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 480}, {800, 600}}},
        SizesRow{"Continuous",
                 {stepwise(V4L2_FRMSIZE_TYPE_CONTINUOUS, {1, 1920, 1, 1, 1080, 1})},
                 {{160, 120},
                  {176, 144},
                  {320, 240},
                  {352, 288},
                  {640, 480},
                  {800, 600},
                  {1024, 768},
                  {1280, 720},
                  {1280, 960},
                  {1920, 1080}}},
        SizesRow{"None", {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(V4l2CameraTest, NewFrameSizeRestartsTheStream) {
    fake->frameSizes = {discrete(320, 240), discrete(640, 480)};
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    EXPECT_FALSE(camera.setFrameSize({800, 600})) << "not one of the camera's sizes";
    ASSERT_TRUE(camera.setFrameSize({640, 480}));
    EXPECT_EQ(camera.frameSize(), (FrameSize{640, 480}));
    EXPECT_TRUE(fake->streaming);
    EXPECT_EQ(fake->liveMappings, 4);

    const auto frame = grabWhileFeeding(camera, *fake, deviceFrame(640, 480, 0, 1));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width(), 640);
    EXPECT_EQ(frame->height(), 480);
}

TEST_F(V4l2CameraTest, FramesBecomeBottomUpRowsWithoutTheDevicesPadding) {
    fake->width = 5;
    fake->height = 3;
    fake->rowPadding = 7;
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());

    const auto bytes = deviceFrame(5, 3, 7, 40);
    const auto frame = grabWhileFeeding(camera, *fake, bytes);
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->width(), 5);
    ASSERT_EQ(frame->height(), 3);
    for (int y = 0; y < 3; ++y) {
        const std::uint8_t* source = bytes.data() + y * (15 + 7);
        EXPECT_EQ(0, std::memcmp(frame->rowFromTop(y), source, 15)) << "row " << y;
    }
    EXPECT_EQ(0, std::memcmp(frame->bits(), bytes.data() + 2 * 22, 15))
        << "the bottom row comes first in memory";
}

TEST_F(V4l2CameraTest, ShortFramesAreNotHandedOn) {
    fake->width = 4;
    fake->height = 4;
    auto camera = makeCamera(300ms);
    ASSERT_TRUE(camera.open());
    auto bytes = deviceFrame(4, 4, 0, 0);
    bytes.resize(bytes.size() - 1);
    EXPECT_FALSE(grabWhileFeeding(camera, *fake, bytes));
}

TEST_F(V4l2CameraTest, DamagedBuffersAreQueuedAgainButNotHandedOn) {
    fake->width = 4;
    fake->height = 2;
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    for (int i = 0; i < 10; ++i) {
        fake->push(deviceFrame(4, 2, 0, 200), V4L2_BUF_FLAG_ERROR);
    }
    ASSERT_TRUE(waitUntil([&] {
        auto lock = fake->lock();
        return fake->framesDequeued == 10 && fake->queuedCount() == 4;
    })) << "ten damaged frames went through four buffers";

    const auto good = deviceFrame(4, 2, 0, 1);
    const auto frame = grabWhileFeeding(camera, *fake, good);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->rowFromTop(0)[0], good[0]);
    EXPECT_TRUE(waitUntil([&] { return fake->lock(), fake->queuedCount() == 4; }));
}

TEST_F(V4l2CameraTest, GrabTakesAFrameThatArrivesAfterTheRequest) {
    fake->width = 4;
    fake->height = 2;
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    fake->push(deviceFrame(4, 2, 0, 90));
    ASSERT_TRUE(waitUntil([&] { return fake->lock(), fake->framesDequeued == 1; }));

    const auto fresh = deviceFrame(4, 2, 0, 7);
    const auto frame = grabWhileFeeding(camera, *fake, fresh);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->rowFromTop(0)[0], 7) << "not the frame from before the grab";
}

TEST_F(V4l2CameraTest, StalledCameraFailsTheGrabByItsDeadline) {
    auto camera = makeCamera(100ms);
    ASSERT_TRUE(camera.open());
    EXPECT_FALSE(grabbed(camera));
    EXPECT_TRUE(camera.isOpen());
}

TEST_F(V4l2CameraTest, UnpluggedCameraFailsGrabsAndClosesCleanly) {
    fake->width = 4;
    fake->height = 2;
    auto camera = makeCamera(); // 20 s: a grab that waits for its deadline would show
    ASSERT_TRUE(camera.open());
    ASSERT_TRUE(grabWhileFeeding(camera, *fake, deviceFrame(4, 2, 0, 1)));

    auto pending = std::async(std::launch::async, [&] { return grabbed(camera); });
    fake->unplug();
    EXPECT_FALSE(pending.get());
    EXPECT_FALSE(grabbed(camera)) << "later grabs fail at once";
    camera.close();
    EXPECT_FALSE(camera.isOpen());
    EXPECT_EQ(fake->liveMappings, 0);
    EXPECT_EQ(fake->openDevices, 0);
    EXPECT_FALSE(camera.open()) << "the node is gone";
}

TEST_F(V4l2CameraTest, CloseStopsTheStreamAndReleasesBuffersAndDevice) {
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    camera.close();
    EXPECT_FALSE(fake->streaming);
    EXPECT_EQ(fake->liveMappings, 0);
    EXPECT_EQ(fake->openDevices, 0);
    camera.close();
    ASSERT_TRUE(camera.open()) << "can be opened again";
    EXPECT_EQ(fake->liveMappings, 4);
}

TEST_F(V4l2CameraTest, FramePeriodIsSetWhereTheCameraAllowsIt) {
    auto camera = makeCamera();
    camera.setFramePeriod(100000us);
    ASSERT_TRUE(camera.open());
    EXPECT_EQ(fake->frameInterval.numerator, 100000u);
    EXPECT_EQ(fake->frameInterval.denominator, 1000000u);
    camera.setFramePeriod(33333us);
    EXPECT_EQ(fake->frameInterval.numerator, 33333u);

    auto fixedRate = captureCamera();
    fixedRate->canSetFrameInterval = false;
    V4l2Camera other("/dev/video1", "Fixed", fixedRate->opener());
    ASSERT_TRUE(other.open());
    other.setFramePeriod(50000us);
    EXPECT_EQ(fixedRate->frameIntervalsSet, 0);
}

FakeV4l2Camera::Control control(std::uint32_t id, const char* name, std::uint32_t type,
                                std::uint32_t flags, std::int32_t value) {
    FakeV4l2Camera::Control control{};
    control.query.id = id;
    std::strncpy(reinterpret_cast<char*>(control.query.name), name, sizeof control.query.name);
    control.query.type = type;
    control.query.flags = flags;
    control.query.minimum = 0;
    control.query.maximum = 255;
    control.query.step = 1;
    control.query.default_value = 128;
    control.value = value;
    return control;
}

TEST_F(V4l2CameraTest, ControlsAreTheAdjustableIntegersAndSwitches) {
    fake->controls = {
        control(V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, 0, 100),
        control(V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 32),
        control(V4L2_CID_SATURATION, "Saturation", V4L2_CTRL_TYPE_INTEGER, V4L2_CTRL_FLAG_DISABLED,
                1),
        control(V4L2_CID_HUE, "Hue", V4L2_CTRL_TYPE_INTEGER, V4L2_CTRL_FLAG_READ_ONLY, 2),
        control(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Auto", V4L2_CTRL_TYPE_BOOLEAN, 0, 1),
        control(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line", V4L2_CTRL_TYPE_MENU, 0, 1),
    };
    auto camera = makeCamera();
    EXPECT_TRUE(camera.controls().empty()) << "nothing to adjust before the camera is open";
    ASSERT_TRUE(camera.open());

    const auto controls = camera.controls();
    ASSERT_EQ(controls.size(), 3u);
    EXPECT_EQ(controls[0].name, "Brightness");
    EXPECT_EQ(controls[0].value, 100);
    EXPECT_EQ(controls[0].maximum, 255);
    EXPECT_EQ(controls[0].defaultValue, 128);
    EXPECT_EQ(controls[1].name, "Contrast");
    EXPECT_EQ(controls[2].name, "White Balance, Auto");

    EXPECT_TRUE(camera.setControl(V4L2_CID_CONTRAST, 40));
    EXPECT_EQ(fake->controlsSet,
              (std::vector<std::pair<std::uint32_t, std::int32_t>>{{V4L2_CID_CONTRAST, 40}}));
    EXPECT_EQ(camera.controls()[1].value, 40);
    EXPECT_FALSE(camera.setControl(0x1234, 1));
}

TEST_F(V4l2CameraTest, PreviewFramesStopWithThePreview) {
    fake->width = 8;
    fake->height = 6;
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    RecordingTarget target;
    camera.startPreview(target, 0ms);
    const auto frame = deviceFrame(8, 6, 0, 3);
    ASSERT_TRUE(waitUntil([&] {
        fake->push(frame);
        return target.frames >= 3;
    }));
    EXPECT_EQ(target.lastWidth, 8);

    camera.stopPreview();
    const int shown = target.frames;
    const std::size_t dequeued = (fake->lock(), fake->framesDequeued);
    ASSERT_TRUE(waitUntil([&] {
        fake->push(frame);
        return fake->lock(), fake->framesDequeued >= dequeued + 3;
    }));
    EXPECT_EQ(target.frames, shown);
}

} // namespace
