#include "capture/Capture.h"

#include "image/Dib.h"
#include "platform/Exception.h"
#include "platform/Surface.h"
#include "settings/Settings.h"
#include "tests/capture/RecordingCaptureService.h"
#include "tests/capture/WorkingDirectory.h"
#include "tests/support/DibBuilder.h"
#include "tests/support/JpegImage.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>

namespace {

using Msg = CaptureMessage;
using Sent = RecordingCaptureService::Sent;

class CaptureTest : public testing::Test {
protected:
    SettingsSnapshot keepSettings;
    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    RecordingCaptureService service;
};

TEST_F(CaptureTest, TheDeviceListHasNoGapsAndTheFormatDialogRefreshesTheImageSize) {
    service.descriptions = {"Cam A",      std::nullopt, "Cam B",      std::nullopt, std::nullopt,
                            std::nullopt, std::nullopt, std::nullopt, std::nullopt, "Cam J"};
    Capture capture(service, {});
    EXPECT_EQ(capture.enumerateDevices(), (std::vector<std::string>{"Cam A", "Cam B", "Cam J"}));
    service.statusToReport.uiImageWidth = 640;
    capture.showFormatDialog();
    EXPECT_EQ(capture.status.uiImageWidth, 640u);
    capture.setFrameRate(0);
    EXPECT_EQ(service.sent.back().message, Msg::WM_CAP_GET_STATUS) << "a rate of 0 changes nothing";
}

struct ConnectRow {
    const char* name;
    int devices;
    std::set<std::uintptr_t> refusing;
    std::int32_t requested;
    std::vector<std::uintptr_t> attempts; // driver indices of the connect requests
    bool throws;
    std::int32_t index; // deviceIndex afterwards
    std::string deviceName;
};

void PrintTo(const ConnectRow& row, std::ostream* out) {
    *out << row.name;
}

class ConnectFallback : public CaptureTest, public testing::WithParamInterface<ConnectRow> {};

TEST_P(ConnectFallback, TriesTheRequestedThenEachInTurn) {
    const ConnectRow& row = GetParam();
    for (int i = 0; i < row.devices; ++i) {
        service.descriptions.push_back("Cam " + std::to_string(i));
    }
    service.refusing = row.refusing;
    Capture capture(service, {});
    capture.setDeviceName("stored");
    capture.deviceIndex = row.requested;
    if (row.throws) {
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
    EXPECT_EQ(capture.deviceIndex, row.index);
    EXPECT_EQ(capture.getDeviceName(), row.deviceName);
}

INSTANTIATE_TEST_SUITE_P(
    Capture, ConnectFallback,
    testing::Values(
        ConnectRow{"StoredPositionConnects", 2, {}, 1, {1}, false, 1, "Cam 1"},
        ConnectRow{"StoredPositionBeyondTheList", 2, {}, 5, {0}, false, 0, "Cam 0"},
        ConnectRow{"StoredRefusesFirstTakesOver", 3, {2}, 2, {2, 0}, false, 0, "Cam 0"},
        ConnectRow{"FallbackSkipsRefusingOnes", 3, {0, 1}, 5, {0, 1, 2}, false, 2, "Cam 2"},
        ConnectRow{"AllRefuseKeepsTheRequested", 2, {0, 1}, 1, {1, 0, 1}, true, 1, "Cam 1"},
        ConnectRow{"NoDevices", 0, {}, 0, {}, true, 0, "stored"}),
    [](const auto& info) { return std::string(info.param.name); });

void writeFrame(const std::string& fileName) {
    DibBuilder frame(40, 30, 24);
    frame.fill([](int x, int y) { return (x * 6) << 16 | (y * 8) << 8 | 0x80u; });
    frame.writeTo(fileName);
}

TEST_F(CaptureTest, GrabWritesTheFrameAsJpegWithTheSettingsOfTheMomentAndRestartsThePreview) {
    service.saveFrame = writeFrame;
    Settings::setDateTimeOverlay(false);
    Settings::setJpegQuality(100);
    {
        Capture capture(service, {});
        EXPECT_TRUE(capture.grabFrame());
        EXPECT_EQ(service.sent.back(), (Sent{Msg::WM_CAP_SET_PREVIEW, 1, ""}));
        const auto image = JpegImage::read("image.jpg");
        ASSERT_TRUE(image);
        ASSERT_EQ(image->width, 40);
        ASSERT_EQ(image->height, 30);
        const auto fine = std::filesystem::file_size("image.jpg");
        writeFrame("frame.dib");
        const Dib frame("frame.dib");
        Surface picture = *Surface::create(40, 30);
        ASSERT_TRUE(frame.paint(picture));
        EXPECT_LT(image->meanDifference(picture), 2) << "no date/time line, nothing else";

        Settings::setJpegFile("second.jpg");
        Settings::setJpegQuality(10);
        EXPECT_TRUE(capture.grabFrame());
        ASSERT_TRUE(JpegImage::read("second.jpg"));
        EXPECT_LT(std::filesystem::file_size("second.jpg"), fine) << "the quality is used";
        EXPECT_TRUE(std::filesystem::exists("_temp.dib")) << "kept until close";
    }
    EXPECT_EQ(service.sent.back(), (Sent{Msg::WM_CAP_DRIVER_DISCONNECT, 0, ""}));
    EXPECT_FALSE(std::filesystem::exists("_temp.dib")) << "deleted when the capture closes";
}

struct FailedGrabRow {
    const char* name;
    // Writes the frame file; null: the driver cannot save.
    void (*save)(const std::string& fileName);
    const char* jpegFile;
};

void PrintTo(const FailedGrabRow& row, std::ostream* out) {
    *out << row.name;
}

class FailedGrab : public CaptureTest, public testing::WithParamInterface<FailedGrabRow> {};

TEST_P(FailedGrab, LeavesThePreviewOnAndWritesNoJpeg) {
    writeFrame("_temp.dib"); // from an earlier grab
    if (GetParam().save) {
        service.saveFrame = GetParam().save;
    }
    Settings::setJpegFile(GetParam().jpegFile);
    Capture capture(service, {});
    EXPECT_FALSE(capture.grabFrame());
    EXPECT_EQ(service.sent.back(), (Sent{Msg::WM_CAP_SET_PREVIEW, 1, ""}));
    EXPECT_FALSE(std::filesystem::exists(GetParam().jpegFile));
}

INSTANTIATE_TEST_SUITE_P(Capture, FailedGrab,
                         testing::Values(FailedGrabRow{"DriverCannotSave", nullptr, "image.jpg"},
                                         FailedGrabRow{"FrameFileIsNoImage",
                                                       [](const std::string& fileName) {
                                                           std::ofstream(fileName)
                                                               << "no bitmap here";
                                                       },
                                                       "image.jpg"},
                                         FailedGrabRow{"JpegFolderMissing", writeFrame,
                                                       "missing-folder/image.jpg"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
