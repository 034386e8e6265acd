#include "capture/V4l2Camera.h"

#include "capture/LibV4l2Device.h"
#include "capture/TestSource.h"
#include "tests/capture/CameraFrames.h"
#include "tests/capture/FakeV4l2Camera.h"
#include "tests/capture/FakeVideoNodes.h"
#include "tests/support/Deadline.h"
#include "tests/support/SurfacePixels.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <ostream>
#include <thread>

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

FakeV4l2Camera::Format format(std::uint32_t pixelFormat, std::vector<FrameSize> sizes) {
    FakeV4l2Camera::Format listed{pixelFormat, {}};
    for (const FrameSize& size : sizes) {
        listed.sizes.push_back(discrete(static_cast<std::uint32_t>(size.width),
                                        static_cast<std::uint32_t>(size.height)));
    }
    return listed;
}

std::optional<Surface> grabbed(CaptureDriver& driver) {
    std::optional<Surface> frame;
    driver.grab(frame);
    return frame;
}

// Grabs while pushing the frame over and over, so a frame arrives after the grab asked.
std::optional<Surface> grabWhileFeeding(V4l2Camera& camera, FakeV4l2Camera& fake,
                                        const std::vector<std::uint8_t>& frame) {
    const auto bytes = std::make_shared<const std::vector<std::uint8_t>>(frame);
    auto grab = std::async(std::launch::async, [&] { return grabbed(camera); });
    while (grab.wait_for(5ms) != std::future_status::ready) {
        fake.push(bytes);
    }
    return grab.get();
}

// The frame the fake camera delivers of picture in the format and size it streams now.
std::vector<std::uint8_t> frameOf(FakeV4l2Camera& fake, const Surface& picture,
                                  bool huffmanTables = true) {
    auto lock = fake.lock();
    return CameraFrames::make(fake.pixelFormat, picture, fake.rowPadding, huffmanTables);
}

// Pictures through lossy coding (JPEG, 4:2:2 colour) stay this close to the original.
constexpr double codingTolerance = 6;

// The rows of the tables below are named by their name field, in test names and messages.
template <typename Row>
requires requires(const Row& row) {
    row.name;
}
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}
const auto rowName = [](const auto& info) { return std::string(info.param.name); };

class RecordingTarget : public CaptureDriver::PreviewTarget {
public:
    bool wantsFrames() const override { return visible; }
    std::optional<FrameSize> stretchedSize() const override { return stretchedTo; }
    void showFrame(const Surface& frame) override {
        std::lock_guard lock(mutex);
        last = frame;
        ++frames;
    }
    std::atomic<bool> visible{true};
    std::optional<FrameSize> stretchedTo;
    std::atomic<int> frames{0};
    std::mutex mutex;
    std::optional<Surface> last;
};

// Where a test's camera tells how it fares: the lines it printed. Each report comes a minute
// after the one before, so every change of state is printed at once.
class ToldLines {
public:
    std::shared_ptr<HealthLine> health = std::make_shared<HealthLine>(
        V4l2Camera::healthWords,
        [this] {
            std::lock_guard lock(mutex);
            return now += 61s;
        },
        [this](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        });
    std::vector<std::string> told() {
        std::lock_guard lock(mutex);
        return lines;
    }

private:
    std::mutex mutex;
    std::chrono::steady_clock::time_point now;
    std::vector<std::string> lines;
};

// Long enough never to be reached by a test that is not about them.
constexpr V4l2Camera::Timing patientTiming{20s, 1h, 1h, 1h};

class V4l2CameraTest : public testing::Test {
protected:
    V4l2CameraTest() { nodes.plug("/dev/video0", fake); }

    // The camera delivers these formats, and is set to the first size of the first.
    void offer(std::vector<FakeV4l2Camera::Format> formats) {
        fake->formats = std::move(formats);
        const auto& first = fake->formats.front();
        fake->pixelFormat = first.pixelFormat;
        if (!first.sizes.empty()) {
            fake->width = first.sizes.front().discrete.width;
            fake->height = first.sizes.front().discrete.height;
        }
    }

    V4l2Camera makeCamera(V4l2Camera::Timing timing = patientTiming) {
        return V4l2Camera("/dev/video0", V4l2Camera::Identity::of(fake->capability, ""), "Fake Cam",
                          nodes.machine(lines.health, timing));
    }

    std::shared_ptr<FakeV4l2Camera> fake = captureCamera();
    FakeVideoNodes nodes;
    ToldLines lines;
};

TEST(V4l2CameraFind, ListsCapturingNodesInOrderAndTellsTwinsApartByBus) {
    std::map<std::string, std::shared_ptr<FakeV4l2Camera>> cameras;
    cameras["/dev/video0"] = captureCamera("HD Cam", "usb-1");
    cameras["/dev/video1"] = captureCamera("HD Cam", "usb-1");
    cameras["/dev/video1"]->capability.device_caps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    cameras["/dev/video2"] = captureCamera("HD Cam", "usb-2");
    cameras["/dev/video3"] = captureCamera("Old Cam", "pci-3");
    cameras["/dev/video3"]->capability.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    cameras["/dev/video3"]->capability.device_caps = 0;
    cameras["/dev/video4"] = captureCamera("Cannot Open", "usb-4");
    cameras["/dev/video4"]->unplug();
    cameras["/dev/video5"] = captureCamera("Encoder", "pci-5");
    cameras["/dev/video5"]->capability.device_caps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
    cameras["/dev/video6"] = captureCamera("Read Only", "pci-6");
    cameras["/dev/video6"]->capability.device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE;
    FakeVideoNodes nodes;
    for (const auto& [path, camera] : cameras) {
        nodes.plug(path, camera);
    }

    const auto found = V4l2Camera::findCameras(nodes.machine(ToldLines().health));

    std::vector<std::string> descriptions;
    for (const auto& camera : found) {
        descriptions.push_back(camera->description());
    }
    EXPECT_EQ(descriptions,
              (std::vector<std::string>{"HD Cam (usb-1)", "HD Cam (usb-2)", "Old Cam"}));
    for (const auto& [path, camera] : cameras) {
        EXPECT_EQ(camera->openDevices, 0) << path << " is closed again";
    }
}

TEST(V4l2CameraFind, ThisMachineWithoutCamerasHasNone) {
    const auto nodes = LibV4l2Device::videoNodes();
    if (!nodes.empty()) {
        GTEST_SKIP() << "this machine has video nodes, such as " << nodes.front().path;
    }
    EXPECT_TRUE(V4l2Camera::findCameras({[] { return LibV4l2Device::videoNodes(); },
                                         &LibV4l2Device::open,
                                         ToldLines().health,
                                         {}})
                    .empty());
}

TEST(V4l2CameraFind, VideoNodesAreOrderedByNumberWithTheirStableNames) {
    TempDir dir;
    for (const char* name : {"video10", "video2", "video0", "videofoo", "vbi0", "video"}) {
        std::ofstream(dir.file(name)) << "";
    }
    std::filesystem::create_directory(dir.file("by-id"));
    const std::string stable = dir.file("by-id/usb-Fake_Cam_42-video-index0");
    std::filesystem::create_symlink("../video2", stable);
    const auto nodes = LibV4l2Device::videoNodes(dir.path().string(), dir.file("by-id"));
    std::vector<std::pair<std::string, std::string>> found;
    for (const V4l2Node& node : nodes) {
        found.emplace_back(node.path, node.stableName);
    }
    EXPECT_EQ(found, (std::vector<std::pair<std::string, std::string>>{{dir.file("video0"), ""},
                                                                       {dir.file("video2"), stable},
                                                                       {dir.file("video10"), ""}}));
    EXPECT_TRUE(LibV4l2Device::videoNodes(dir.file("missing")).empty());
}

struct FormatRow {
    const char* name;
    std::vector<FakeV4l2Camera::Format> formats;
    FrameSize asked; // the size the camera reports before anything is set
    std::uint32_t streamed;
    FrameSize got;
};

class V4l2StreamFormat : public V4l2CameraTest, public testing::WithParamInterface<FormatRow> {};

TEST_P(V4l2StreamFormat, IsTheCamerasOwnAndTheFirstThatGivesTheSize) {
    const FormatRow& row = GetParam();
    offer(row.formats);
    fake->width = static_cast<std::uint32_t>(row.asked.width);
    fake->height = static_cast<std::uint32_t>(row.asked.height);
    fake->widthStep = 8;
    auto camera = makeCamera();
    if (row.streamed == 0) {
        EXPECT_FALSE(camera.open());
        EXPECT_EQ(fake->openDevices, 0);
        EXPECT_FALSE(grabbed(camera));
        return;
    }
    ASSERT_TRUE(camera.open());
    EXPECT_EQ(fake->requestedFormats, (std::vector<std::uint32_t>{row.streamed}));
    EXPECT_EQ(camera.frameSize(), row.got);
    EXPECT_EQ(fake->buffersRequested, V4l2Camera::bufferCount);
    EXPECT_TRUE(fake->streaming);
    EXPECT_EQ(fake->liveMappings, 4);
    EXPECT_TRUE(waitUntil([&] { return fake->lock(), fake->queuedCount() == 4; }));
}

INSTANTIATE_TEST_SUITE_P(
    V4l2Camera, V4l2StreamFormat,
    testing::Values(
        FormatRow{
            "MjpegBeforeYuyv",
            {format(V4L2_PIX_FMT_YUYV, {{640, 480}}), format(V4L2_PIX_FMT_MJPEG, {{640, 480}})},
            {640, 480},
            V4L2_PIX_FMT_MJPEG,
            {640, 480}},
        FormatRow{"YuyvWhereMjpegLacksTheSize",
                  {format(V4L2_PIX_FMT_MJPEG, {{1280, 720}}),
                   format(V4L2_PIX_FMT_YUYV, {{640, 480}, {1280, 720}})},
                  {640, 480},
                  V4L2_PIX_FMT_YUYV,
                  {640, 480}},
        FormatRow{"MjpegAtTheSizeTheCameraMakesOfAnUnlistedOne",
                  {format(V4L2_PIX_FMT_MJPEG, {})},
                  {642, 480},
                  V4L2_PIX_FMT_MJPEG,
                  {640, 480}},
        FormatRow{"OtherFormatsAsLibv4lconvertChooses",
                  {format(V4L2_PIX_FMT_H264, {{640, 480}}), format(V4L2_PIX_FMT_BGR24, {})},
                  {642, 480},
                  V4L2_PIX_FMT_BGR24,
                  {640, 480}},
        FormatRow{
            "NothingConvertible", {format(V4L2_PIX_FMT_H264, {{640, 480}})}, {640, 480}, 0, {}}),
    rowName);

TEST_F(V4l2CameraTest, RefusesACameraWithoutBuffers) {
    fake->buffersGranted = 0;
    auto camera = makeCamera();
    EXPECT_FALSE(camera.open());
    EXPECT_EQ(fake->openDevices, 0);
}

struct SizesRow {
    const char* name;
    std::vector<FakeV4l2Camera::Format> formats;
    std::vector<FrameSize> offered;
};

class V4l2FrameSizes : public V4l2CameraTest, public testing::WithParamInterface<SizesRow> {};

TEST_P(V4l2FrameSizes, OfferTheCamerasSizes) {
    offer(GetParam().formats);
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    EXPECT_EQ(camera.frameSizes(), GetParam().offered);
}

INSTANTIATE_TEST_SUITE_P(
    V4l2Camera, V4l2FrameSizes,
    testing::Values(SizesRow{"Discrete",
                             {{V4L2_PIX_FMT_MJPEG,
                               {discrete(640, 480), discrete(320, 240), discrete(1280, 720),
                                discrete(640, 480)}}},
                             {{640, 480}, {320, 240}, {1280, 720}}},
                    SizesRow{
                        "Stepwise",
                        {{V4L2_PIX_FMT_YUYV,
                          {stepwise(V4L2_FRMSIZE_TYPE_STEPWISE, {100, 1000, 4, 100, 800, 2})}}},
                        {{160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 480}, {800, 600}}},
                    SizesRow{"Continuous",
                             {{V4L2_PIX_FMT_MJPEG,
                               {stepwise(V4L2_FRMSIZE_TYPE_CONTINUOUS, {1, 1920, 1, 1, 1080, 1})}}},
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
                    SizesRow{"AllFormatsPreferredFirst",
                             {format(V4L2_PIX_FMT_BGR24, {{160, 120}}),
                              format(V4L2_PIX_FMT_YUYV, {{640, 480}, {320, 240}}),
                              format(V4L2_PIX_FMT_MJPEG, {{1280, 720}, {640, 480}})},
                             {{1280, 720}, {640, 480}, {320, 240}, {160, 120}}},
                    SizesRow{"None", {{V4L2_PIX_FMT_MJPEG, {}}}, {}}),
    rowName);

struct GrabRow {
    const char* name;
    std::vector<FakeV4l2Camera::Format> formats;
    std::uint32_t rowPadding;
    bool huffmanTables;
};

class V4l2Grab : public V4l2CameraTest, public testing::WithParamInterface<GrabRow> {};

TEST_P(V4l2Grab, DecodesToThePictureAtEveryOfferedSize) {
    offer(GetParam().formats);
    fake->rowPadding = GetParam().rowPadding;
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    for (const FrameSize& size : camera.frameSizes()) {
        ASSERT_TRUE(camera.setFrameSize(size));
        const Surface picture = TestSource::render(size, 1);
        const auto frame =
            grabWhileFeeding(camera, *fake, frameOf(*fake, picture, GetParam().huffmanTables));
        ASSERT_TRUE(frame) << size.width << "x" << size.height;
        ASSERT_EQ(frame->width(), size.width);
        ASSERT_EQ(frame->height(), size.height);
        EXPECT_LT(meanDifference(*frame, picture), codingTolerance)
            << size.width << "x" << size.height;
    }
}

INSTANTIATE_TEST_SUITE_P(
    V4l2Camera, V4l2Grab,
    testing::Values(
        GrabRow{
            "Mjpeg", {format(V4L2_PIX_FMT_MJPEG, {{320, 240}, {176, 144}, {1280, 720}})}, 0, true},
        GrabRow{"MjpegWithoutHuffmanTables",
                {format(V4L2_PIX_FMT_MJPEG, {{640, 480}, {160, 120}})},
                0,
                false},
        GrabRow{
            "YuyvWithPaddedRows", {format(V4L2_PIX_FMT_YUYV, {{320, 240}, {176, 144}})}, 12, true},
        GrabRow{"MjpegAndYuyv",
                {format(V4L2_PIX_FMT_MJPEG, {{640, 480}}), format(V4L2_PIX_FMT_YUYV, {{320, 240}})},
                0,
                true},
        GrabRow{"Bgr24WithPaddedRows", {format(V4L2_PIX_FMT_BGR24, {{160, 120}})}, 7, true}),
    rowName);

struct DamageRow {
    const char* name;
    std::uint32_t pixelFormat;
    std::vector<std::uint8_t> (*damage)(std::vector<std::uint8_t> frame);
    std::uint32_t flags;
};

class V4l2DamagedFrame : public V4l2CameraTest, public testing::WithParamInterface<DamageRow> {};

TEST_P(V4l2DamagedFrame, IsSkippedAndTheNextGoodOneTaken) {
    const DamageRow& row = GetParam();
    offer({format(row.pixelFormat, {{320, 240}})});
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    const Surface picture = TestSource::render({320, 240}, 1);
    Surface negative = picture;
    for (int y = 0; y < negative.height(); ++y) {
        std::uint8_t* line = negative.rowFromTop(y);
        std::transform(line, line + negative.width() * 3, line,
                       [](std::uint8_t v) { return 255 - v; });
    }
    const auto damaged =
        std::make_shared<const std::vector<std::uint8_t>>(row.damage(frameOf(*fake, negative)));

    auto grab = std::async(std::launch::async, [&] { return grabbed(camera); });
    // Damaged frames until the camera has tried to convert some for the grab (or, for a
    // buffer flagged as damaged, which is never converted, has dropped a few).
    std::size_t pushed = 0;
    ASSERT_TRUE(waitUntil([&] {
        if (grab.wait_for(0ms) == std::future_status::ready) {
            return true;
        }
        auto lock = fake->lock();
        const bool tried = row.flags ? pushed > 6 : fake->conversions >= 2;
        if (!tried && fake->pendingFrames() == 0 && fake->queuedCount() == 4) {
            lock.unlock();
            fake->push(damaged, row.flags);
            ++pushed;
        }
        return tried;
    }));
    ASSERT_NE(grab.wait_for(0ms), std::future_status::ready) << "a damaged frame was taken";

    const auto good = std::make_shared<const std::vector<std::uint8_t>>(frameOf(*fake, picture));
    while (grab.wait_for(5ms) != std::future_status::ready) {
        fake->push(good);
    }
    const auto frame = grab.get();
    ASSERT_TRUE(frame);
    EXPECT_LT(meanDifference(*frame, picture), codingTolerance);
    EXPECT_TRUE(waitUntil([&] { return fake->lock(), fake->queuedCount() == 4; }))
        << "every buffer is queued again";
}

INSTANTIATE_TEST_SUITE_P(
    V4l2Camera, V4l2DamagedFrame,
    testing::Values(DamageRow{"BufferFlaggedByTheDevice", V4L2_PIX_FMT_MJPEG,
                              [](std::vector<std::uint8_t> frame) { return frame; },
                              V4L2_BUF_FLAG_ERROR},
                    DamageRow{"MjpegCutShort", V4L2_PIX_FMT_MJPEG,
                              [](std::vector<std::uint8_t> frame) {
                                  frame.resize(frame.size() * 2 / 3);
                                  return frame;
                              },
                              0},
                    DamageRow{"MjpegWithoutItsMiddle", V4L2_PIX_FMT_MJPEG,
                              [](std::vector<std::uint8_t> frame) {
                                  const auto third = static_cast<std::ptrdiff_t>(frame.size() / 3);
                                  frame.erase(frame.begin() + third, frame.begin() + 2 * third);
                                  return frame;
                              },
                              0},
                    DamageRow{"MjpegOfZeros", V4L2_PIX_FMT_MJPEG,
                              [](std::vector<std::uint8_t> frame) {
                                  std::fill(frame.begin(), frame.end(), 0);
                                  return frame;
                              },
                              0},
                    DamageRow{"YuyvOneByteShort", V4L2_PIX_FMT_YUYV,
                              [](std::vector<std::uint8_t> frame) {
                                  frame.pop_back();
                                  return frame;
                              },
                              0}),
    rowName);

TEST_F(V4l2CameraTest, GrabTakesAFrameThatArrivesAfterTheRequest) {
    offer({format(V4L2_PIX_FMT_MJPEG, {{64, 48}})});
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    fake->push(frameOf(*fake, filled(64, 48, {255, 0, 0})));
    ASSERT_TRUE(waitUntil([&] { return fake->lock(), fake->framesDequeued == 1; }));

    const Surface fresh = filled(64, 48, {0, 0, 255});
    const auto frame = grabWhileFeeding(camera, *fake, frameOf(*fake, fresh));
    ASSERT_TRUE(frame);
    EXPECT_LT(meanDifference(*frame, fresh), codingTolerance) << "not the frame from before";
}

TEST_F(V4l2CameraTest, StalledCameraFailsTheGrabByItsDeadline) {
    auto camera = makeCamera({100ms, 1h, 1h, 1h});
    ASSERT_TRUE(camera.open());
    EXPECT_FALSE(grabbed(camera));
    EXPECT_TRUE(camera.isOpen());
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

    auto fixedRate = captureCamera("Fixed Cam", "usb-2");
    fixedRate->canSetFrameInterval = false;
    nodes.plug("/dev/video1", fixedRate);
    V4l2Camera other("/dev/video1", V4l2Camera::Identity::of(fixedRate->capability, ""), "Fixed",
                     nodes.machine(lines.health, patientTiming));
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

void stream(FakeV4l2Camera& fake, const FakeV4l2Camera::Bytes& frame, int count) {
    for (int i = 0; i < count; ++i) {
        fake.push(frame);
    }
    ASSERT_TRUE(fake.waitUntilHandled());
}

TEST_F(V4l2CameraTest, ConvertsOnlyTheFramesThatAreUsed) {
    offer({format(V4L2_PIX_FMT_MJPEG, {{320, 240}})});
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    const auto frame = std::make_shared<const std::vector<std::uint8_t>>(
        frameOf(*fake, TestSource::render({320, 240}, 1)));
    const auto conversions = [&] { return fake->lock(), fake->conversions; };

    RecordingTarget hidden;
    hidden.visible = false;
    camera.startPreview(hidden, 0ms);
    stream(*fake, frame, 10);
    EXPECT_EQ(conversions(), 0u) << "nobody looks";
    ASSERT_TRUE(grabWhileFeeding(camera, *fake, *frame));
    stream(*fake, frame, 5);
    EXPECT_EQ(conversions(), 1u) << "only the grab's frame";

    RecordingTarget shown;
    camera.startPreview(shown, 1h);
    ASSERT_TRUE(waitUntil([&] {
        fake->push(frame);
        return shown.frames == 1;
    }));
    stream(*fake, frame, 5);
    EXPECT_EQ(shown.frames, 1) << "the next preview frame is not due yet";
    EXPECT_EQ(conversions(), 2u);

    camera.startPreview(shown, 0ms);
    ASSERT_TRUE(waitUntil([&] {
        fake->push(frame);
        return shown.frames >= 4;
    }));
    camera.stopPreview();
    const std::size_t converted = conversions();
    stream(*fake, frame, 5);
    EXPECT_EQ(conversions(), converted) << "the preview has stopped";
}

struct PreviewRow {
    const char* name;
    std::uint32_t pixelFormat;
    std::optional<FrameSize> stretchedTo;
    FrameSize made;
};

class V4l2PreviewFrame : public V4l2CameraTest, public testing::WithParamInterface<PreviewRow> {};

TEST_P(V4l2PreviewFrame, IsMadeNoLargerThanTheWindowNeeds) {
    const PreviewRow& row = GetParam();
    const FrameSize size{640, 480};
    offer({format(row.pixelFormat, {size})});
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    const Surface picture = TestSource::render(size, 1);
    const auto frame = std::make_shared<const std::vector<std::uint8_t>>(frameOf(*fake, picture));
    RecordingTarget target;
    target.stretchedTo = row.stretchedTo;
    camera.startPreview(target, 0ms);
    ASSERT_TRUE(waitUntil([&] {
        fake->push(frame);
        return target.frames >= 1;
    }));
    camera.stopPreview();

    std::lock_guard lock(target.mutex);
    ASSERT_EQ(target.last->width(), row.made.width);
    ASSERT_EQ(target.last->height(), row.made.height);
    // Against the picture sampled at the same size: the same picture, give or take the
    // edges that the decoder averages and sampling does not.
    Surface sampled = *Surface::create(row.made.width, row.made.height);
    for (int y = 0; y < row.made.height; ++y) {
        for (int x = 0; x < row.made.width; ++x) {
            std::memcpy(sampled.rowFromTop(y) + x * 3,
                        picture.rowFromTop(y * size.height / row.made.height) +
                            x * size.width / row.made.width * 3,
                        3);
        }
    }
    EXPECT_LT(meanDifference(*target.last, sampled), codingTolerance);
}

INSTANTIATE_TEST_SUITE_P(
    V4l2Camera, V4l2PreviewFrame,
    testing::Values(PreviewRow{"MjpegQuarter", V4L2_PIX_FMT_MJPEG, FrameSize{160, 120}, {160, 120}},
                    PreviewRow{"MjpegHalf", V4L2_PIX_FMT_MJPEG, FrameSize{320, 240}, {320, 240}},
                    PreviewRow{
                        "MjpegThreeQuarters", V4L2_PIX_FMT_MJPEG, FrameSize{480, 360}, {640, 480}},
                    PreviewRow{"MjpegTinyWindow", V4L2_PIX_FMT_MJPEG, FrameSize{40, 30}, {80, 60}},
                    PreviewRow{"MjpegNotStretched", V4L2_PIX_FMT_MJPEG, std::nullopt, {640, 480}},
                    PreviewRow{"YuyvQuarter", V4L2_PIX_FMT_YUYV, FrameSize{160, 120}, {160, 120}}),
    rowName);

// Pushes a frame every few milliseconds while on, as a camera delivers them.
class Feeder {
public:
    Feeder(FakeV4l2Camera& fake, const Surface& picture)
        : frame(std::make_shared<const std::vector<std::uint8_t>>(frameOf(fake, picture)))
        , thread([this, &fake] {
            while (!ending) {
                if (on) {
                    fake.push(frame);
                }
                std::this_thread::sleep_for(2ms);
            }
        }) {}
    ~Feeder() {
        ending = true;
        thread.join();
    }
    Feeder(const Feeder&) = delete;
    Feeder& operator=(const Feeder&) = delete;

    std::atomic<bool> on{true};

private:
    const FakeV4l2Camera::Bytes frame;
    std::atomic<bool> ending{false};
    std::thread thread;
};

// Short pauses between the tries, so that a test sees several.
constexpr V4l2Camera::Timing quickRetries{20s, 1h, 10ms, 40ms};

// The camera is pulled out and comes back on another node; meanwhile another camera may
// sit on its old node.
struct ReconnectRow {
    const char* name;
    const char* stableName;
    const char* backOnBus;
    const char* otherCard; // "" for no other camera
    const char* otherBus;
    const char* otherStableName;
};

class V4l2CameraReconnect : public V4l2CameraTest,
                            public testing::WithParamInterface<ReconnectRow> {};

TEST_P(V4l2CameraReconnect, ComesBackWithItsSettingsWhereverItIsAndNoOtherIsTakenForIt) {
    const ReconnectRow& row = GetParam();
    const FrameSize chosen{640, 480}; // not the size it starts in after a power loss
    offer({format(V4L2_PIX_FMT_MJPEG, {{320, 240}, chosen})});
    fake->controls = {control(V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, 0, 128)};
    nodes.plug("/dev/video0", fake, row.stableName);
    RecordingTarget preview; // outlives the camera
    V4l2Camera camera("/dev/video0", V4l2Camera::Identity::of(fake->capability, row.stableName),
                      "Fake Cam", nodes.machine(lines.health, quickRetries));
    ASSERT_TRUE(camera.open());
    ASSERT_TRUE(camera.setFrameSize(chosen));
    ASSERT_TRUE(camera.setControl(V4L2_CID_BRIGHTNESS, 99));
    camera.setFramePeriod(100000us);
    camera.startPreview(preview, 0ms);
    Feeder feeder(*fake, TestSource::render(chosen, 1));
    ASSERT_TRUE(waitUntil([&] { return preview.frames > 0; }));

    fake->unplug();
    nodes.remove("/dev/video0");
    ASSERT_TRUE(waitUntil([&] {
        return fake->lock(), fake->openDevices + fake->liveMappings == 0;
    })) << "the lost camera is let go";
    EXPECT_FALSE(grabbed(camera)) << "grabs fail while it is away";
    std::shared_ptr<FakeV4l2Camera> other;
    if (*row.otherCard != '\0') {
        other = captureCamera(row.otherCard, row.otherBus);
        nodes.plug("/dev/video0", other, row.otherStableName);
        const int listed = nodes.listings();
        ASSERT_TRUE(waitUntil([&] { return nodes.listings() >= listed + 3; }));
        EXPECT_FALSE(grabbed(camera)) << "the other camera is not taken for it";
    }
    {
        auto lock = fake->lock();
        setCard(fake->capability, "Fake Cam", row.backOnBus);
    }
    fake->plugIn();
    nodes.plug("/dev/video3", fake, row.stableName);

    std::optional<Surface> frame;
    ASSERT_TRUE(waitUntil([&] { return (frame = grabbed(camera)).has_value(); }))
        << "back without a call";
    EXPECT_EQ(frame->width(), chosen.width);
    EXPECT_EQ(frame->height(), chosen.height);
    EXPECT_EQ(camera.frameSize(), chosen);
    {
        auto lock = fake->lock();
        EXPECT_EQ(fake->openedPaths.back(), "/dev/video3");
        EXPECT_EQ(fake->width, 640u);
        EXPECT_EQ(fake->frameInterval.numerator, 100000u);
        EXPECT_EQ(fake->frameInterval.denominator, 1000000u);
        EXPECT_EQ(fake->controls[0].value, 99);
    }
    const int shown = preview.frames;
    EXPECT_TRUE(waitUntil([&] { return preview.frames > shown; })) << "the preview is back";
    if (other) {
        EXPECT_EQ((other->lock(), other->openDevices), 0);
        EXPECT_FALSE((other->lock(), other->streaming));
    }
    const auto told = lines.told();
    ASSERT_EQ(told.size(), 2u) << testing::PrintToString(told);
    EXPECT_EQ(told[0], "kavriWebCam: camera lost: Fake Cam at /dev/video0: No such device");
    EXPECT_THAT(told[1], testing::StartsWith("kavriWebCam: camera back after "));
}

INSTANTIATE_TEST_SUITE_P(
    V4l2Camera, V4l2CameraReconnect,
    testing::Values(ReconnectRow{"OnAnotherNode", "", "usb-0000:00:14.0-1", "", "", ""},
                    ReconnectRow{"AnotherCameraOnItsNodeMeanwhile", "", "usb-0000:00:14.0-1",
                                 "Other Cam", "usb-0000:00:14.0-1", ""},
                    ReconnectRow{"OnAnotherPortByItsStableNameWhileItsTwinIsNotTaken",
                                 "/dev/v4l/by-id/usb-Fake_Cam_111-video-index0",
                                 "usb-0000:00:14.0-3", "Fake Cam", "usb-0000:00:14.0-2",
                                 "/dev/v4l/by-id/usb-Fake_Cam_222-video-index0"}),
    rowName);

TEST_F(V4l2CameraTest, CameraReconnectAfterAStallOpensItAgain) {
    offer({format(V4L2_PIX_FMT_MJPEG, {{320, 240}})});
    auto camera = makeCamera({20s, 300ms, 10ms, 40ms});
    ASSERT_TRUE(camera.open());
    ASSERT_TRUE(waitUntil([&] { return !lines.told().empty(); }));
    EXPECT_EQ(lines.told()[0],
              "kavriWebCam: camera lost: Fake Cam at /dev/video0: no frame for 300 ms");

    Feeder feeder(*fake, TestSource::render({320, 240}, 1));
    EXPECT_TRUE(waitUntil([&] { return grabbed(camera).has_value(); }));
    EXPECT_GE((fake->lock(), fake->openedPaths.size()), 2u) << "opened again";
}

TEST_F(V4l2CameraTest, CameraReconnectOfACameraThatNeverReturnsCostsOnlyItsPeriodicTry) {
    auto camera = makeCamera(quickRetries);
    ASSERT_TRUE(camera.open());
    const int listedBefore = nodes.listings();
    const auto lostAt = std::chrono::steady_clock::now();
    fake->unplug();
    nodes.remove("/dev/video0");

    ASSERT_TRUE(waitUntil([&] { return nodes.listings() - listedBefore >= 8; }));
    const int tries = nodes.listings() - listedBefore;
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - lostAt)
                               .count();
    // Tries 1, 2 and 3 come 10, 30 and 70 ms after the loss at the earliest, then one every
    // 40 ms at most.
    EXPECT_LE(tries, 3 + (elapsedMs - 70) / 40) << tries << " tries in " << elapsedMs << " ms";
    EXPECT_EQ((fake->lock(), fake->openDevices), 0);
    EXPECT_EQ(lines.told().size(), 1u) << "one line for the loss, none for the tries";
}

} // namespace
