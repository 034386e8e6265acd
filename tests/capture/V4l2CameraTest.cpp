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
#include <mutex>
#include <ostream>
#include <thread>

namespace {

using namespace std::chrono_literals;

const auto format = &FakeV4l2Camera::format;

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

// Grabs while pushing the frame over and over, so a frame arrives after the grab asked.
std::optional<Surface> grabWhileFeeding(V4l2Camera& camera, FakeV4l2Camera& fake,
                                        const FakeV4l2Camera::Bytes& frame) {
    auto grab = std::async(std::launch::async, [&] { return grabbed(camera); });
    while (grab.wait_for(5ms) != std::future_status::ready) {
        fake.push(frame);
    }
    return grab.get();
}

// Pictures through lossy coding (JPEG, 4:2:2 colour) stay this close to the original.
constexpr double codingTolerance = 6;

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

// The lines a test's camera printed. Each report comes a minute after the one before, so
// every change of state is printed at once.
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
// Short pauses between the tries, so that a test sees several.
constexpr V4l2Camera::Timing quickRetries{20s, 1h, 10ms, 40ms};

class V4l2CameraTest : public testing::Test {
protected:
    V4l2CameraTest() { nodes.plug("/dev/video0", fake); }

    // The camera delivers these formats, and is set to the first size of the first.
    void offer(std::vector<FakeV4l2Camera::Format> formats) {
        fake->formats = std::move(formats);
        fake->plugIn();
    }

    V4l2Camera makeCamera(V4l2Camera::Timing timing = patientTiming,
                          const std::string& stableName = "") {
        return V4l2Camera("/dev/video0", V4l2Camera::Identity::of(fake->capability, stableName),
                          "Fake Cam", nodes.machine(lines.health, timing));
    }

    std::shared_ptr<FakeV4l2Camera> fake = FakeV4l2Camera::create("Fake Cam", "usb-1");
    FakeVideoNodes nodes;
    ToldLines lines;
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
    for (const auto& camera : V4l2Camera::findCameras(nodes.machine(ToldLines().health))) {
        descriptions.push_back(camera->description());
    }
    EXPECT_EQ(descriptions,
              (std::vector<std::string>{"HD Cam (usb-1)", "HD Cam (usb-2)", "Old Cam"}));
    for (const auto& camera : cameras) {
        EXPECT_EQ(camera->openDevices, 0) << "closed again";
    }
}

TEST(V4l2CameraFind, VideoNodesAreOrderedByNumberWithTheirStableNames) {
    TempDir dir;
    for (const char* name : {"video10", "video2", "video0", "vbi0"}) {
        std::ofstream(dir.file(name)) << "";
    }
    std::filesystem::create_directory(dir.file("by-id"));
    const std::string stable = dir.file("by-id/usb-Fake_Cam_42-video-index0");
    std::filesystem::create_symlink("../video2", stable);
    std::vector<std::pair<std::string, std::string>> found;
    for (const V4l2Node& node : LibV4l2Device::videoNodes(dir.path().string(), dir.file("by-id"))) {
        found.emplace_back(node.path, node.stableName);
    }
    EXPECT_EQ(found, (std::vector<std::pair<std::string, std::string>>{{dir.file("video0"), ""},
                                                                       {dir.file("video2"), stable},
                                                                       {dir.file("video10"), ""}}));
}

struct GrabRow {
    const char* name;
    std::vector<FakeV4l2Camera::Format> formats;
    std::uint32_t rowPadding;
    bool huffmanTables;
    std::vector<std::uint32_t> streamed; // the format streamed at each size offered
};

class V4l2Grab : public V4l2CameraTest, public testing::WithParamInterface<GrabRow> {};

// Each size in the camera's own format, MJPEG where it can, as the picture it shows.
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
    testing::Values(GrabRow{"Mjpeg",
                            {format(V4L2_PIX_FMT_MJPEG, {{320, 240}, {176, 144}})},
                            0,
                            true,
                            {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_MJPEG}},
                    GrabRow{"MjpegWithoutHuffmanTables",
                            {format(V4L2_PIX_FMT_MJPEG, {{640, 480}})},
                            0,
                            false,
                            {V4L2_PIX_FMT_MJPEG}},
                    GrabRow{"YuyvWithPaddedRowsWhereMjpegLacksTheSize",
                            {format(V4L2_PIX_FMT_YUYV, {{320, 240}, {176, 144}}),
                             format(V4L2_PIX_FMT_MJPEG, {{320, 240}})},
                            12,
                            true,
                            {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV}},
                    GrabRow{"Bgr24WithPaddedRows",
                            {format(V4L2_PIX_FMT_BGR24, {{160, 120}})},
                            7,
                            true,
                            {V4L2_PIX_FMT_BGR24}}),
    rowName);

struct DamageRow {
    const char* name;
    std::uint32_t flags; // the buffer's flags; without V4L2_BUF_FLAG_ERROR the frame is cut short
};

class V4l2DamagedFrame : public V4l2CameraTest, public testing::WithParamInterface<DamageRow> {};

TEST_P(V4l2DamagedFrame, IsSkippedAndTheNextGoodOneTaken) {
    offer({format(V4L2_PIX_FMT_MJPEG, {{320, 240}})});
    auto camera = makeCamera();
    ASSERT_TRUE(camera.open());
    const Surface picture = TestSource::render({320, 240}, 1);
    std::vector<std::uint8_t> damaged = *frameOf(*fake, TestSource::render({320, 240}, 40));
    damaged.resize(GetParam().flags == 0 ? damaged.size() * 2 / 3 : damaged.size());
    const auto damagedFrame = std::make_shared<const std::vector<std::uint8_t>>(damaged);
    auto grab = std::async(std::launch::async, [&] { return grabbed(camera); });
    // Damaged frames until the camera has tried to convert some for the grab (or, for a
    // buffer flagged as damaged, which is never converted, has dropped a few).
    int pushed = 0;
    ASSERT_TRUE(waitUntil([&] {
        auto lock = fake->lock();
        const bool tried = GetParam().flags != 0 ? pushed > 6 : fake->conversions >= 2;
        if (!tried && fake->pendingFrames() == 0 && fake->queuedCount() == 4) {
            lock.unlock();
            fake->push(damagedFrame, GetParam().flags);
            ++pushed;
        }
        return tried || grab.wait_for(0ms) == std::future_status::ready;
    }));
    ASSERT_NE(grab.wait_for(0ms), std::future_status::ready) << "a damaged frame was taken";
    const auto good = frameOf(*fake, picture);
    while (grab.wait_for(5ms) != std::future_status::ready) {
        fake->push(good);
    }
    const auto frame = grab.get();
    ASSERT_TRUE(frame);
    EXPECT_LT(meanDifference(*frame, picture), codingTolerance);
}

INSTANTIATE_TEST_SUITE_P(V4l2Camera, V4l2DamagedFrame,
                         testing::Values(DamageRow{"FlaggedByTheDevice", V4L2_BUF_FLAG_ERROR},
                                         DamageRow{"MjpegCutShort", 0}),
                         rowName);

TEST_F(V4l2CameraTest, GrabTakesAFrameThatArrivesAfterTheRequestAndFailsByItsDeadline) {
    offer({format(V4L2_PIX_FMT_MJPEG, {{64, 48}})});
    // A frame comes well within the deadline, even on a busy machine.
    auto camera = makeCamera({2s, 1h, 1h, 1h});
    ASSERT_TRUE(camera.open());
    fake->push(frameOf(*fake, filled(64, 48, {255, 0, 0})));
    ASSERT_TRUE(fake->waitUntilHandled());
    const Surface fresh = filled(64, 48, {0, 0, 255});
    const auto frame = grabWhileFeeding(camera, *fake, frameOf(*fake, fresh));
    ASSERT_TRUE(frame);
    EXPECT_LT(meanDifference(*frame, fresh), codingTolerance) << "not the frame from before";
    EXPECT_FALSE(grabbed(camera)) << "a stalled camera";

    camera.close();
    EXPECT_FALSE(fake->streaming);
    EXPECT_EQ(fake->liveMappings + fake->openDevices, 0) << "the camera is free for others";
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
    const auto frame = frameOf(*fake, picture);
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
    EXPECT_LT(meanDifference(*target.last, TestSource::render(row.made, 1)), codingTolerance);
}

INSTANTIATE_TEST_SUITE_P(
    V4l2Camera, V4l2PreviewFrame,
    testing::Values(PreviewRow{"MjpegQuarter", V4L2_PIX_FMT_MJPEG, FrameSize{160, 120}, {160, 120}},
                    PreviewRow{"MjpegNotStretched", V4L2_PIX_FMT_MJPEG, std::nullopt, {640, 480}},
                    PreviewRow{"YuyvQuarter", V4L2_PIX_FMT_YUYV, FrameSize{160, 120}, {160, 120}}),
    rowName);

// Pushes a frame every few milliseconds, as a camera delivers them.
class Feeder {
public:
    Feeder(FakeV4l2Camera& fake, const Surface& picture)
        : frame(frameOf(fake, picture))
        , thread([this, &fake] {
            while (!ending) {
                fake.push(frame);
                std::this_thread::sleep_for(2ms);
            }
        }) {}
    ~Feeder() {
        ending = true;
        thread.join();
    }

private:
    const FakeV4l2Camera::Bytes frame;
    std::atomic<bool> ending{false};
    std::thread thread;
};

// The camera is pulled out and comes back on another node, after another camera took its
// old node meanwhile.
struct ReconnectRow {
    const char* name;
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
    offer({format(V4L2_PIX_FMT_MJPEG, {{320, 240}, chosen})});
    fake->controls = {FakeV4l2Camera::control(V4L2_CID_BRIGHTNESS, 128)};
    nodes.plug("/dev/video0", fake, row.stableName);
    RecordingTarget preview; // outlives the camera
    auto camera = makeCamera(quickRetries, row.stableName);
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
    auto other = FakeV4l2Camera::create(row.otherCard, row.otherBus);
    nodes.plug("/dev/video0", other, row.otherStableName);
    const int listed = nodes.listings();
    ASSERT_TRUE(waitUntil([&] { return nodes.listings() >= listed + 3; }));
    EXPECT_FALSE(grabbed(camera)) << "the other camera is not taken for it";
    {
        auto lock = fake->lock();
        std::strncpy(reinterpret_cast<char*>(fake->capability.bus_info), row.backOnBus, 31);
    }
    fake->plugIn();
    nodes.plug("/dev/video3", fake, row.stableName);

    std::optional<Surface> frame;
    ASSERT_TRUE(waitUntil([&] { return (frame = grabbed(camera)).has_value(); }))
        << "back without a call";
    EXPECT_EQ(frame->width(), chosen.width);
    {
        auto lock = fake->lock();
        EXPECT_EQ(fake->openedPaths.back(), "/dev/video3");
        EXPECT_EQ(fake->width, 640u);
        EXPECT_EQ(fake->frameInterval.numerator * 10, fake->frameInterval.denominator);
        EXPECT_EQ(fake->controls[0].value, 99);
    }
    const int shown = preview.frames;
    EXPECT_TRUE(waitUntil([&] { return preview.frames > shown; })) << "the preview is back";
    EXPECT_EQ((other->lock(), other->openDevices), 0);
    const auto told = lines.told();
    ASSERT_EQ(told.size(), 2u) << testing::PrintToString(told);
    EXPECT_EQ(told[0], "kavriWebCam: camera lost: Fake Cam at /dev/video0: No such device");
    EXPECT_THAT(told[1], testing::StartsWith("kavriWebCam: camera back after "));
}

INSTANTIATE_TEST_SUITE_P(V4l2Camera, V4l2CameraReconnect,
                         testing::Values(ReconnectRow{"OnTheSameBusWhileAnotherCameraTookItsNode",
                                                      "", "usb-1", "Other Cam", "usb-1", ""},
                                         ReconnectRow{
                                             "OnAnotherPortByItsStableNameWhileItsTwinIsNotTaken",
                                             "/dev/v4l/by-id/usb-Fake_Cam_111-video-index0",
                                             "usb-3", "Fake Cam", "usb-2",
                                             "/dev/v4l/by-id/usb-Fake_Cam_222-video-index0"}),
                         rowName);

TEST_F(V4l2CameraTest, CameraThatStallsIsOpenedAgain) {
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

} // namespace
