#include "capture/Capture.h"

#include "base/Exception.h"
#include "capture/DriverCaptureService.h"
#include "capture/HeadlessCaptureDialogs.h"
#include "capture/HeadlessPreviewSink.h"
#include "capture/TestSource.h"
#include "tests/support/Deadline.h"
#include "tests/support/DibBuilder.h"
#include "tests/support/JpegImage.h"
#include "tests/support/RecordingCaptureService.h"
#include "tests/support/SurfacePixels.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkingDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <tuple>

namespace {

using Msg = CaptureMessage;
using Sent = RecordingCaptureService::Sent;

class CaptureTest : public testing::Test {
protected:
    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    RecordingCaptureService service;
};

// A live view that watches once watching is set.
struct LiveListener : FrameListener {
    bool wantsFrames() const override { return watching; }
    void jpegFrame(const std::uint8_t*, std::size_t) override {}
    void pixelFrame(const Surface& frame) override { (std::lock_guard(mutex), last = frame); }
    void cameraLost(bool) override {}
    std::atomic<bool> watching{false};
    std::mutex mutex;
    std::optional<Surface> last;
};

// The frame goes from the driver through the frame file into the JPEG file; the preview's
// frames go to the live view too while someone watches it.
TEST_F(CaptureTest, TheTestSourceIsGrabbedUprightInItsColours) {
    HeadlessPreviewSink preview;
    HeadlessCaptureDialogs dialogs;
    LiveListener live;
    std::vector<std::unique_ptr<CaptureDriver>> drivers;
    drivers.push_back(std::make_unique<TestSource>(&live));
    DriverCaptureService drivenService(std::move(drivers), preview, dialogs);
    Capture capture(drivenService, {});
    capture.initialize();
    ASSERT_EQ(capture.grabFrame({.jpegFile = "image.jpg", .quality = 70}), "image.jpg");
    const auto jpeg = readJpeg("image.jpg", 320, 240);
    ASSERT_TRUE(jpeg);
    EXPECT_LT(meanDifference(*jpeg, TestSource::render({320, 240}, 0)), 3);
    live.watching = true;
    ASSERT_TRUE(waitUntil([&] { return (std::lock_guard(live.mutex), live.last.has_value()); }));
    EXPECT_EQ(live.last->width() * 1000 + live.last->height(), 320240);
}

struct ConnectRow {
    int devices;
    std::set<std::uintptr_t> refusing;
    std::int32_t requested;
    std::vector<std::uintptr_t> attempts; // driver indices of the connect requests
    std::int32_t index;                   // deviceIndex afterwards, -1: no device is connected
    std::string deviceName;
};

class ConnectFallback : public CaptureTest, public testing::WithParamInterface<ConnectRow> {};

TEST_P(ConnectFallback, TriesTheRequestedThenEachInTurn) {
    const ConnectRow& row = GetParam();
    for (int i = 0; i < row.devices; ++i) {
        service.descriptions.push_back("Cam " + std::to_string(i));
    }
    service.refusing = row.refusing;
    Capture capture(service, {});
    capture.setDeviceName("stored");
    capture.setDeviceIndex(row.requested);
    if (row.index < 0) {
        EXPECT_THROW(capture.initialize(), NoDeviceException);
    } else {
        capture.initialize();
        EXPECT_EQ(service.sent.at(row.attempts.size()), (Sent{Msg::WM_CAP_SET_SCALE, 1, ""}));
    }
    std::vector<std::uintptr_t> attempts;
    for (const Sent& s : service.sent) {
        if (s.message == Msg::WM_CAP_DRIVER_CONNECT) {
            attempts.push_back(s.wParam);
        }
    }
    EXPECT_EQ(attempts, row.attempts);
    EXPECT_EQ(capture.getDeviceIndex(), row.index < 0 ? row.requested : row.index);
    EXPECT_EQ(capture.getDeviceName(), row.deviceName);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Capture, ConnectFallback, testing::Values(
    ConnectRow{2, {}, 1, {1}, 1, "Cam 1"},              // the stored position connects
    ConnectRow{2, {}, 5, {0}, 0, "Cam 0"},              // the stored position is beyond the list
    ConnectRow{3, {2}, 2, {2, 0}, 0, "Cam 0"},          // the stored one refuses, the first takes over
    ConnectRow{3, {0, 1}, 5, {0, 1, 2}, 2, "Cam 2"},    // refusing ones are skipped
    ConnectRow{2, {0, 1}, 1, {1, 0, 1}, -1, "Cam 1"},   // all refuse
    ConnectRow{0, {}, 0, {}, -1, "stored"}));
// clang-format on

// Four coloured quarters, so orientation and channel order both show.
void writeFrame(const std::string& fileName) {
    DibBuilder frame(62, 48, 24); // rows of 186 bytes, padded to 188
    frame.fill([](int x, int y) {
        return y < 24 ? (x < 32 ? 0xFF0000u : 0x00FF00u) : (x < 32 ? 0x0000FFu : 0xFFFFFFu);
    });
    frame.writeTo(fileName);
}

// The user's text changes only the top left corner, the date/time line only the bottom.
TEST_F(CaptureTest, GrabWritesTheFrameAsJpegWithTheSettingsGivenAndRestartsThePreview) {
    service.saveFrame = writeFrame;
    GrabSettings settings{.jpegFile = "image.jpg", .quality = 100, .colors = {0x00FFFFFF, 0}};
    {
        Capture capture(service, {});
        EXPECT_EQ(capture.grabFrame(settings), "image.jpg");
        EXPECT_EQ(service.sent.back(), (Sent{Msg::WM_CAP_SET_PREVIEW, 1, ""}));
        const auto plain = readJpeg("image.jpg", 62, 48);
        ASSERT_TRUE(plain);
        for (const auto& [x, y, rgb] : {std::tuple{10, 10, Rgb{255, 0, 0}},
                                        {50, 10, {0, 255, 0}},
                                        {10, 38, {0, 0, 255}},
                                        {50, 38, {255, 255, 255}}}) {
            const Rgb got = pixelAt(*plain, x, y);
            EXPECT_LT(std::abs(got.red - rgb.red) + std::abs(got.green - rgb.green) +
                          std::abs(got.blue - rgb.blue),
                      40);
        }

        settings.jpegFile = "second.jpg";
        settings.dateTime = true;
        settings.text = "x";
        EXPECT_EQ(capture.grabFrame(settings), "second.jpg");
        const auto drawn = readJpeg("second.jpg", 62, 48);
        ASSERT_TRUE(drawn);
        const auto fine = std::filesystem::file_size("second.jpg");
        // JPEG codes 16 rows at a time: the middle ones stay exactly as they were.
        EXPECT_FALSE(samePixels(*plain, *drawn, 0, 14));
        EXPECT_TRUE(samePixels(*plain, *drawn, 16, 32));
        EXPECT_FALSE(samePixels(*plain, *drawn, 34, 48));

        settings.quality = 10;
        EXPECT_TRUE(capture.grabFrame(settings));
        EXPECT_LT(std::filesystem::file_size("second.jpg"), fine) << "the quality is used";
        EXPECT_TRUE(std::filesystem::exists("_temp.dib")) << "kept until close";
    }
    EXPECT_EQ(service.sent.back(), (Sent{Msg::WM_CAP_DRIVER_DISCONNECT, 0, ""}));
    EXPECT_FALSE(std::filesystem::exists("_temp.dib")) << "deleted when the capture closes";
}

// The driver cannot save, the frame file is no DIB, the JPEG folder is missing; the JPEG
// file's health line goes where it is told.
TEST_F(CaptureTest, FailedGrabLeavesThePreviewOnAndWritesNoJpeg) {
    for (const auto& [save, jpegFile, told] :
         {std::tuple<void (*)(const std::string&), const char*, const char*>{
              nullptr, "image.jpg",
              "kavriWebCam: JPEG file cannot be written: _temp.dib: Input/output error"},
          {[](const std::string& name) { std::ofstream(name) << "no DIB"; }, "image.jpg", ""},
          {writeFrame, "missing-folder/image.jpg",
           "kavriWebCam: JPEG file cannot be written: missing-folder/image.jpg: No such file or "
           "directory"}}) {
        writeFrame("_temp.dib"); // from an earlier grab
        service.saveFrame = save;
        std::string line;
        Capture capture(service, {}, [&line](const std::string& text) { line = text; });
        EXPECT_EQ(capture.grabFrame({.jpegFile = jpegFile, .quality = 70}), std::nullopt);
        EXPECT_EQ(service.sent.back(), (Sent{Msg::WM_CAP_SET_PREVIEW, 1, ""}));
        EXPECT_FALSE(std::filesystem::exists(jpegFile));
        EXPECT_EQ(line, told);
    }
}

} // namespace
