#include "capture/Capture.h"

#include "platform/Exception.h"
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

const std::string noDevice = "Capture:: There is no capture-device available.";

class CaptureTest : public testing::Test {
protected:
    SettingsSnapshot keepSettings;

    // Messages sent since the last call.
    std::vector<Sent> takeSent() {
        std::vector<Sent> taken;
        taken.swap(service.sent);
        return taken;
    }

    // The messages of a successful Capture::connect after the connect request itself.
    static std::vector<Sent> setupAfterConnect() {
        return {{Msg::WM_CAP_SET_SCALE, 1, ""},
                {Msg::WM_CAP_SET_PREVIEW, 1, ""},
                {Msg::WM_CAP_SET_CALLBACK_VIDEOSTREAM, 0, ""},
                {Msg::WM_CAP_SET_CALLBACK_FRAME, 0, ""},
                {Msg::WM_CAP_GET_SEQUENCE_SETUP, 0, "parms"},
                {Msg::WM_CAP_SET_SEQUENCE_SETUP, 0, "parms"},
                {Msg::WM_CAP_DRIVER_GET_CAPS, 0, "caps"},
                {Msg::WM_CAP_GET_STATUS, 0, "status"}};
    }

    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    RecordingCaptureService service;
};

TEST_F(CaptureTest, ConstructionCreatesTheChildWindowAtTheParentsOrigin) {
    int parentTag = 0;
    Capture capture(service, ParentWindow{&parentTag, {}});
    ASSERT_TRUE(service.created);
    EXPECT_EQ(service.created->name, "TerkCaptureWindow");
    EXPECT_EQ(service.created->style, 0x50000000u);
    EXPECT_EQ(service.created->x, 0);
    EXPECT_EQ(service.created->y, 0);
    EXPECT_EQ(service.created->width, 160);
    EXPECT_EQ(service.created->height, 120);
    EXPECT_EQ(service.created->parent, &parentTag);
    EXPECT_EQ(service.created->id, 303);
    EXPECT_EQ(capture.deviceIndex, 0);
    EXPECT_EQ(capture.getDeviceName(), "");
    EXPECT_TRUE(service.sent.empty());
}

TEST_F(CaptureTest, EnumerationAsksTenIndicesAndKeepsTheListWithoutGaps) {
    service.descriptions = {"Cam A",      std::nullopt, "Cam B",      std::nullopt,
                            std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                            std::nullopt, "Cam J",      "beyond ten"};
    Capture capture(service, {});
    const auto& names = capture.enumerateDevices();
    EXPECT_EQ(&names, &capture.deviceNames);
    EXPECT_EQ(names, (std::vector<std::string>{"Cam A", "Cam B", "Cam J"}));
    EXPECT_EQ(service.askedIndices, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(service.askedBufferBytes, 150u);

    service.descriptions = {"Only"};
    EXPECT_EQ(capture.enumerateDevices(), (std::vector<std::string>{"Only"}))
        << "a new enumeration replaces the list";
}

TEST_F(CaptureTest, DescriptionsAreCutToTheNameBuffer) {
    service.descriptions = {std::string(200, 'x')};
    Capture capture(service, {});
    EXPECT_EQ(capture.enumerateDevices().at(0).size(), 149u);
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
    capture.deviceIndex = 42;
    capture.enumerateDevices();

    if (row.throws) {
        try {
            capture.connect(row.requested);
            FAIL() << "no NoDeviceException";
        } catch (const NoDeviceException& e) {
            EXPECT_EQ(e.message, noDevice);
        }
    } else {
        capture.connect(row.requested);
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
    if (!row.throws) {
        std::vector<Sent> setup(service.sent.begin() + static_cast<long>(attempts.size()),
                                service.sent.end());
        EXPECT_EQ(setup, setupAfterConnect());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Capture, ConnectFallback,
    testing::Values(
        ConnectRow{"StoredPositionConnects", 2, {}, 1, {1}, false, 1, "Cam 1"},
        ConnectRow{"FirstOfTwo", 2, {}, 0, {0}, false, 0, "Cam 0"},
        ConnectRow{"StoredPositionBeyondTheList", 2, {}, 5, {0}, false, 0, "Cam 0"},
        ConnectRow{"NegativePosition", 2, {}, -1, {0}, false, 0, "Cam 0"},
        ConnectRow{"StoredRefusesFirstTakesOver", 3, {2}, 2, {2, 0}, false, 0, "Cam 0"},
        ConnectRow{"RefusingOneIsTriedAgainInItsTurn", 2, {0}, 0, {0, 0, 1}, false, 1, "Cam 1"},
        ConnectRow{"FallbackSkipsRefusingOnes", 3, {0, 1}, 5, {0, 1, 2}, false, 2, "Cam 2"},
        ConnectRow{"AllRefuseKeepsTheRequested", 2, {0, 1}, 1, {1, 0, 1}, true, 1, "Cam 1"},
        ConnectRow{
            "AllRefuseOutOfRangeKeepsEarlierValues", 2, {0, 1}, 7, {0, 1}, true, 42, "stored"},
        ConnectRow{"NoDevices", 0, {}, 0, {}, true, 42, "stored"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, InitializeConnectsTheStoredIndex) {
    service.descriptions = {"Cam 0", "Cam 1"};
    Capture capture(service, {});
    capture.deviceIndex = 1;
    capture.initialize();
    EXPECT_EQ(capture.deviceNames.size(), 2u);
    EXPECT_EQ(capture.getDeviceName(), "Cam 1");
    EXPECT_EQ(service.sent.front(), (Sent{Msg::WM_CAP_DRIVER_CONNECT, 1, ""}));
}

TEST_F(CaptureTest, InitializeWithoutDevicesThrows) {
    Capture capture(service, {});
    try {
        capture.initialize();
        FAIL() << "no NoDeviceException";
    } catch (const NoDeviceException& e) {
        EXPECT_EQ(e.message, noDevice);
    }
}

TEST_F(CaptureTest, ConnectSetsTheSequenceFlagsAndKeepsTheRest) {
    service.descriptions = {"Cam"};
    service.parmsToReport.dwRequestMicroSecPerFrame = 40000;
    service.parmsToReport.wPercentDropForError = 17;
    service.parmsToReport.fStepCaptureAt2x = true;
    service.capsToReport.fHasDlgVideoFormat = true;
    service.capsToReport.fHasDlgVideoSource = true;
    service.statusToReport.uiImageWidth = 352;
    service.statusToReport.uiImageHeight = 288;
    Capture capture(service, {});
    capture.initialize();

    ASSERT_EQ(service.parmsReceived.size(), 1u);
    const CaptureParms& parms = service.parmsReceived[0];
    EXPECT_TRUE(parms.fYield);
    EXPECT_FALSE(parms.fAbortLeftMouse);
    EXPECT_FALSE(parms.fAbortRightMouse);
    EXPECT_FALSE(parms.fStepCaptureAt2x);
    EXPECT_EQ(parms.dwRequestMicroSecPerFrame, 40000u);
    EXPECT_EQ(parms.wPercentDropForError, 17u);
    EXPECT_TRUE(capture.driverCaps.fHasDlgVideoFormat);
    EXPECT_TRUE(capture.driverCaps.fHasDlgVideoSource);
    EXPECT_FALSE(capture.driverCaps.fHasDlgVideoDisplay);
    EXPECT_EQ(capture.status.uiImageWidth, 352u);
    EXPECT_EQ(capture.status.uiImageHeight, 288u);
}

struct FrameRateRow {
    const char* name;
    std::uint32_t fps;
    std::uintptr_t previewMs;
    std::uint32_t frameUs;
};

void PrintTo(const FrameRateRow& row, std::ostream* out) {
    *out << row.name;
}

class FrameRate : public CaptureTest, public testing::WithParamInterface<FrameRateRow> {};

TEST_P(FrameRate, SetsPreviewRateAndFramePeriod) {
    const FrameRateRow& row = GetParam();
    service.parmsToReport.wPercentDropForError = 3;
    Capture capture(service, {});
    capture.setFrameRate(row.fps);
    if (row.fps == 0) {
        EXPECT_TRUE(service.sent.empty());
        return;
    }
    EXPECT_EQ(service.sent, (std::vector<Sent>{{Msg::WM_CAP_SET_PREVIEWRATE, row.previewMs, ""},
                                               {Msg::WM_CAP_GET_SEQUENCE_SETUP, 0, "parms"},
                                               {Msg::WM_CAP_SET_SEQUENCE_SETUP, 0, "parms"}}));
    ASSERT_EQ(service.parmsReceived.size(), 1u);
    EXPECT_EQ(service.parmsReceived[0].dwRequestMicroSecPerFrame, row.frameUs);
    EXPECT_EQ(service.parmsReceived[0].wPercentDropForError, 3u);
}

INSTANTIATE_TEST_SUITE_P(Capture, FrameRate,
                         testing::Values(FrameRateRow{"Fifteen", 15, 66, 66666},
                                         FrameRateRow{"Thousand", 1000, 1, 1000},
                                         FrameRateRow{"Three", 3, 333, 333333},
                                         FrameRateRow{"One", 1, 1000, 1000000},
                                         FrameRateRow{"Zero", 0, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, GrabSavesTheFrameRestartsThePreviewAndWritesTheJpeg) {
    service.saveFrame = [](const std::string& fileName) {
        DibBuilder frame(40, 30, 24);
        frame.fill([](int, int) { return 0x3366CCu; });
        frame.writeTo(fileName);
    };
    Settings::setJpegFile("out.jpg");
    Settings::setDateTimeOverlay(false);
    Capture capture(service, {});

    EXPECT_TRUE(capture.grabFrame());
    EXPECT_EQ(takeSent(), (std::vector<Sent>{{Msg::WM_CAP_GRAB_FRAME, 0, ""},
                                             {Msg::WM_CAP_FILE_SAVEDIBA, 0, "_temp.dib"},
                                             {Msg::WM_CAP_SET_PREVIEW, 1, ""}}));
    const auto image = JpegImage::read("out.jpg");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 40);
    EXPECT_EQ(image->height, 30);
    const auto pixel = image->at(20, 15);
    EXPECT_NEAR(pixel.red, 0x33, 4);
    EXPECT_NEAR(pixel.green, 0x66, 4);
    EXPECT_NEAR(pixel.blue, 0xCC, 4);
    EXPECT_TRUE(std::filesystem::exists("_temp.dib")) << "kept until close";

    Settings::setJpegFile("second.jpg");
    EXPECT_TRUE(capture.grabFrame());
    EXPECT_TRUE(JpegImage::read("second.jpg")) << "settings are read at each grab";
}

struct FailedGrabRow {
    const char* name;
    // Writes the frame file; null: the driver cannot save.
    void (*save)(const std::string& fileName);
};

void PrintTo(const FailedGrabRow& row, std::ostream* out) {
    *out << row.name;
}

class FailedGrab : public CaptureTest, public testing::WithParamInterface<FailedGrabRow> {};

TEST_P(FailedGrab, LeavesThePreviewOnAndWritesNoJpeg) {
    if (GetParam().save) {
        service.saveFrame = GetParam().save;
    }
    Capture capture(service, {});
    EXPECT_FALSE(capture.grabFrame());
    EXPECT_EQ(takeSent().back(), (Sent{Msg::WM_CAP_SET_PREVIEW, 1, ""}));
    EXPECT_FALSE(std::filesystem::exists("image.jpg"));
}

INSTANTIATE_TEST_SUITE_P(Capture, FailedGrab,
                         testing::Values(FailedGrabRow{"DriverCannotSave", nullptr},
                                         FailedGrabRow{"FrameFileIsNoImage",
                                                       [](const std::string& fileName) {
                                                           std::ofstream(fileName)
                                                               << "no bitmap here";
                                                       }},
                                         FailedGrabRow{"FrameFileMissing",
                                                       [](const std::string&) {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, GrabFailsWhenTheJpegCannotBeWritten) {
    service.saveFrame = [](const std::string& fileName) { DibBuilder(8, 8, 24).writeTo(fileName); };
    Settings::setJpegFile("missing-folder/image.jpg");
    Capture capture(service, {});
    EXPECT_FALSE(capture.grabFrame());
}

TEST_F(CaptureTest, CloseRunsOnceAndDeletesTheFrameFile) {
    std::ofstream("_temp.dib") << "frame";
    {
        Capture capture(service, {});
        capture.close();
        EXPECT_EQ(takeSent(), (std::vector<Sent>{{Msg::WM_CAP_SET_PREVIEW, 0, ""},
                                                 {Msg::WM_CAP_STOP, 0, ""},
                                                 {Msg::WM_CAP_DRIVER_DISCONNECT, 0, ""}}));
        EXPECT_FALSE(std::filesystem::exists("_temp.dib"));

        std::ofstream("_temp.dib") << "frame";
        capture.close();
    }
    EXPECT_TRUE(service.sent.empty()) << "neither a second close nor the destructor acts";
    EXPECT_TRUE(std::filesystem::exists("_temp.dib"));
}

TEST_F(CaptureTest, DestructorCloses) {
    std::ofstream("_temp.dib") << "frame";
    { Capture capture(service, {}); }
    EXPECT_EQ(service.sent.size(), 3u);
    EXPECT_FALSE(std::filesystem::exists("_temp.dib"));
}

TEST_F(CaptureTest, DialogsSendTheirMessagesAndFormatRefreshesTheStatus) {
    Capture capture(service, {});
    service.statusToReport.uiImageWidth = 640;
    service.statusToReport.uiImageHeight = 480;
    capture.showFormatDialog();
    capture.showSourceDialog();
    capture.showDisplayDialog();
    EXPECT_EQ(takeSent(), (std::vector<Sent>{{Msg::WM_CAP_DLG_VIDEOFORMAT, 0, ""},
                                             {Msg::WM_CAP_GET_STATUS, 0, "status"},
                                             {Msg::WM_CAP_DLG_VIDEOSOURCE, 0, ""},
                                             {Msg::WM_CAP_DLG_VIDEODISPLAY, 0, ""}}));
    EXPECT_EQ(capture.status.uiImageWidth, 640u);
    EXPECT_EQ(capture.status.uiImageHeight, 480u);
}

TEST_F(CaptureTest, ResizeGoesToTheCaptureWindow) {
    Capture capture(service, {});
    capture.resizeWindow(264, 198);
    ASSERT_EQ(service.resized.size(), 1u);
    EXPECT_EQ(service.resized[0].window, service.window);
    EXPECT_EQ(service.resized[0].width, 264);
    EXPECT_EQ(service.resized[0].height, 198);
}

struct MissingWindowRow {
    const char* name;
    bool createWorks;
    bool windowExists;
};

void PrintTo(const MissingWindowRow& row, std::ostream* out) {
    *out << row.name;
}

class MissingWindow : public CaptureTest, public testing::WithParamInterface<MissingWindowRow> {};

TEST_P(MissingWindow, SkipsEveryMessageWithResultZero) {
    service.createWorks = GetParam().createWorks;
    service.windowExists = GetParam().windowExists;
    service.descriptions = {"Cam"};
    service.saveFrame = [](const std::string& fileName) { DibBuilder(8, 8, 24).writeTo(fileName); };
    {
        Capture capture(service, {});
        EXPECT_THROW(capture.initialize(), NoDeviceException) << "a skipped connect fails";
        EXPECT_EQ(capture.deviceNames.size(), 1u) << "the driver list needs no window";
        capture.setFrameRate(15);
        capture.showFormatDialog();
        capture.showSourceDialog();
        capture.showDisplayDialog();
        EXPECT_FALSE(capture.grabFrame());
    }
    EXPECT_TRUE(service.sent.empty());
    EXPECT_FALSE(std::filesystem::exists("image.jpg"));
}

INSTANTIATE_TEST_SUITE_P(Capture, MissingWindow,
                         testing::Values(MissingWindowRow{"CreationFailed", false, true},
                                         MissingWindowRow{"WindowDestroyed", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct MouseRow {
    const char* name;
    MouseMessage message;
    bool toParent;
};

void PrintTo(const MouseRow& row, std::ostream* out) {
    *out << row.name;
}

class MouseForwarding : public CaptureTest, public testing::WithParamInterface<MouseRow> {};

TEST_P(MouseForwarding, PassesButtonsAndMovesToTheParentUnchanged) {
    struct Received {
        MouseMessage message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    std::vector<Received> received;
    ParentWindow parent;
    parent.mouse = [&](MouseMessage message, std::uintptr_t wParam, std::intptr_t lParam) {
        received.push_back({message, wParam, lParam});
        return std::intptr_t{77};
    };
    Capture capture(service, parent);
    ASSERT_TRUE(service.hook);

    const auto result = service.hook(GetParam().message, 0x0001, 0x00200010);
    if (GetParam().toParent) {
        EXPECT_EQ(result, std::optional<std::intptr_t>(77));
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].message, GetParam().message);
        EXPECT_EQ(received[0].wParam, 0x0001u);
        EXPECT_EQ(received[0].lParam, 0x00200010);
    } else {
        EXPECT_FALSE(result) << "left to the capture window's own procedure";
        EXPECT_TRUE(received.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Capture, MouseForwarding,
                         testing::Values(MouseRow{"Move", MouseMessage::WM_MOUSEMOVE, true},
                                         MouseRow{"LeftDown", MouseMessage::WM_LBUTTONDOWN, true},
                                         MouseRow{"LeftUp", MouseMessage::WM_LBUTTONUP, true},
                                         MouseRow{"LeftDoubleClick", MouseMessage::WM_LBUTTONDBLCLK,
                                                  true},
                                         MouseRow{"RightDown", MouseMessage::WM_RBUTTONDOWN, true},
                                         MouseRow{"MiddleDown", MouseMessage::WM_MBUTTONDOWN, true},
                                         MouseRow{"RightUp", MouseMessage::WM_RBUTTONUP, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
