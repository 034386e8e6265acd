#include "app/MainWindow.h"

#include "base/Exception.h"
#include "res/DialogTemplates.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/Deadline.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FtpServer.h"
#include "tests/support/LocalTime.h"

#include <gmock/gmock.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace {

using namespace windowMessage;
using namespace trayFlag;
using Msg = CaptureMessage;
constexpr int firstDevice = menuCommand::firstDevice;

TEST_F(MainWindowTest, StartsWithTheIdleTrayIconAndNeedsACaptureObject) {
    MainWindow bare(system, tray, dialogs, showCommand::SW_SHOWNORMAL);
    ASSERT_EQ(tray.calls.size(), 1u);
    EXPECT_EQ(tray.calls[0].action, trayAction::NIM_ADD);
    EXPECT_EQ(tray.calls[0].data.flags, NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_DETAILS);
    EXPECT_EQ(tray.calls[0].data.details, "camera: ok\nJPEG file: ok\nupload: off");
    EXPECT_EQ(tray.calls[0].data.icon, idleIconId);
    EXPECT_EQ(tray.calls[0].data.tip, inactiveTip);
    EXPECT_EQ(tray.calls[0].data.callbackMessage, MainWindow::trayCallbackMessage);
    EXPECT_EQ(tray.calls[0].data.window, system.window);
    EXPECT_THROW(bare.setCapture(nullptr), Exception);
}

TEST_F(MainWindowTest, DevicesAreListedBehindTheHeadingAndTheOneConnectedIsChecked) {
    service.refusing = {0};
    build();
    const auto& devices = static_cast<FakeMenu*>(menu().subMenu(0)->subMenu(9))->items;
    ASSERT_EQ(devices.size(), 5u);
    EXPECT_EQ(devices[0].text, "Available Devices:");
    EXPECT_EQ(devices[4].text, "Cam Two");
    EXPECT_EQ(menu().checkedAmong(firstDevice, menuCommand::lastDevice),
              std::vector{firstDevice + 1});
    command(firstDevice + 2);
    EXPECT_EQ(menu().checkedAmong(firstDevice, menuCommand::lastDevice),
              std::vector{firstDevice + 2});
    // Another device connects when the chosen one refuses.
    service.refusing = {0, 1};
    command(firstDevice + 1);
    EXPECT_EQ(capture->getDeviceIndex(), 2);
    EXPECT_EQ(menu().checkedAmong(firstDevice, menuCommand::lastDevice),
              std::vector{firstDevice + 2});
}

TEST_F(MainWindowTest, AMenuWithoutTheDeviceSubmenuIsReportedAndSetUpGoesOn) {
    static const MenuItemTemplate bar[] = {{MenuItemKind::Popup, "&File", 0, false, {}}};
    static const MenuTemplate broken{bar};
    system.menuTemplate = &broken;
    build();
    EXPECT_EQ(system.boxes, std::vector<std::string>{"Internal screw-up..."});
    EXPECT_EQ(window().rect.width(), 240);
}

TEST_F(MainWindowTest, SetUpAppliesTheStoredSettingsAndGreysTheDialogsTheDriverLacks) {
    Settings::setSaveSettingsOnExit(true);
    Settings::setFps(20);
    service.capsToReport.fHasDlgVideoSource = false;
    construct();
    service.sent.clear();
    mainWindow->setupMenus();
    EXPECT_TRUE(menu().isChecked(menuCommand::saveOnExit));
    EXPECT_TRUE(sentToDriver(Msg::WM_CAP_SET_PREVIEWRATE, 50));
    EXPECT_TRUE(menu().isGrayed(menuCommand::videoSource));
    EXPECT_FALSE(menu().isGrayed(menuCommand::videoFormat));
    EXPECT_FALSE(menu().isGrayed(menuCommand::videoDisplay));
}

TEST_F(MainWindowTest, TheCommandsReachTheirDialogsTheDriverAndTheSettings) {
    build();
    command(menuCommand::about);
    EXPECT_EQ(dialogs.run, std::vector{aboutDialogId});
    service.statusToReport.uiImageWidth = 640;
    service.statusToReport.uiImageHeight = 480;
    command(menuCommand::videoFormat);
    // The new image size at the zoom in use, 75%.
    EXPECT_EQ(window().rect, (Rect{0, 0, 480, 360}));
    dialogs.script = [](FakeDialogHost& host, const DialogProcedure& procedure) {
        host.setItemText(previewSettingsItem::fps, "10");
        host.press(procedure, dialogOk);
    };
    command(menuCommand::previewSettings);
    EXPECT_TRUE(sentToDriver(Msg::WM_CAP_SET_PREVIEWRATE, 100));
    command(menuCommand::saveOnExit);
    EXPECT_TRUE(Settings::getSaveSettingsOnExit() && menu().isChecked(menuCommand::saveOnExit));
    command(menuCommand::saveOnExit);
    EXPECT_FALSE(Settings::getSaveSettingsOnExit() || menu().isChecked(menuCommand::saveOnExit));
    command(menuCommand::saveSettings);
    EXPECT_TRUE(std::filesystem::exists("kavriWebCam.ini"));
    command(menuCommand::archiveSettings);
    EXPECT_EQ(dialogs.run.back(), archiveSettingsDialogId);
    EXPECT_EQ(command(menuCommand::lastDevice + 1), std::nullopt);
}

TEST_F(MainWindowTest, TheTrayIconTogglesTheWindowAndOpensTheMenuWithTheDevicesPresent) {
    build();
    const auto trayClick = [&](std::intptr_t mouse) {
        window().deliver(MainWindow::trayCallbackMessage, 0, mouse);
    };
    const auto hideItem = [&] { return static_cast<FakeMenu*>(menu().subMenu(0))->items[0].text; };
    command(menuCommand::hide);
    EXPECT_FALSE(window().visible);
    EXPECT_EQ(hideItem(), "Show");
    trayClick(WM_LBUTTONUP);
    EXPECT_TRUE(window().visible);
    EXPECT_EQ(hideItem(), "Hide");
    // Without a notification area, Hide minimises, and a hidden window is minimised once the
    // area goes.
    tray.present = false;
    command(menuCommand::hide);
    EXPECT_TRUE(window().visible && window().minimized);
    EXPECT_EQ(hideItem(), "Hide");
    tray.present = true;
    command(menuCommand::hide);
    tray.present = false;
    trayClick(trayChangedNotice);
    EXPECT_TRUE(window().visible && window().minimized);
    tray.present = true;
    // The keyboard's context menu opens at the window's corner.
    window().deliver(WM_CONTEXTMENU, 0, -1);
    EXPECT_EQ(system.log.take(), std::vector<std::string>{"track 1,1"});
    trayClick(WM_LBUTTONDOWN);
    trayClick(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(window().visible);
    trayClick(WM_LBUTTONUP);
    EXPECT_FALSE(window().visible);
    // A camera plugged in since, listed before the one in use.
    service.descriptions = {"New Cam", "Cam Zero", "Cam One", "Cam Two"};
    service.connectedIndex = 1;
    system.cursor = {900, 750};
    trayClick(WM_RBUTTONDOWN);
    EXPECT_EQ(system.log.take(), std::vector<std::string>{"track 900,750"});
    EXPECT_EQ(menu().subMenu(0)->subMenu(9)->itemCount(), 6);
    EXPECT_EQ(menu().checkedAmong(firstDevice, menuCommand::lastDevice),
              std::vector{firstDevice + 1});
}

TEST_F(MainWindowTest, ExitStopsSavesRemovesTheTrayIconOnceAndEndsTheLoop) {
    Settings::setSaveSettingsOnExit(true);
    build();
    command(menuCommand::run);
    tray.take();
    command(menuCommand::exitProgram);
    EXPECT_TRUE(std::filesystem::exists("kavriWebCam.ini"));
    ASSERT_FALSE(tray.calls.empty());
    EXPECT_EQ(tray.calls[0].data.icon, idleIconId);
    EXPECT_EQ(tray.take().back().action, trayAction::NIM_DELETE);
    EXPECT_TRUE(window().timers.empty());
    EXPECT_EQ(system.quitCode, 0);
    mainWindow.reset();
    EXPECT_TRUE(tray.calls.empty());
}

TEST_F(MainWindowTest, ShutdownSavesNothingWithoutSaveOnExitOrACaptureObject) {
    build();
    mainWindow->shutdown();
    Settings::setSaveSettingsOnExit(true);
    MainWindow{system, tray, dialogs, showCommand::SW_SHOWNORMAL};
    EXPECT_FALSE(std::filesystem::exists("kavriWebCam.ini"));
}

// The grab schedule.

const std::string connectMessage =
    "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";

class GrabScheduleTest : public MainWindowTest {
protected:
    // Ticks until the next grab, or -1 when none comes within 20.
    int ticksToGrab() {
        const int before = framesSaved;
        for (int ticks = 1; ticks <= 20; ++ticks) {
            window().tick();
            if (framesSaved != before) {
                return ticks;
            }
        }
        return -1;
    }
};

// The schedule's ticks reach the tray as pictures alone, and the grab at zero writes the file.
TEST_F(GrabScheduleTest, RunStartsTheHalfSecondTimerTicksTheTrayAndRunAgainStopsIt) {
    Settings::setUpdate(1);
    build();
    command(menuCommand::run);
    EXPECT_EQ(window().timers, (std::map<std::uintptr_t, unsigned>{{303, 500}}));
    EXPECT_TRUE(running());
    EXPECT_TRUE(menu().isGrayed(menuCommand::ftpSettings));
    window().tick();
    window().tick();
    EXPECT_EQ(framesSaved, 1);
    EXPECT_TRUE(std::filesystem::exists("image.jpg"));
    command(menuCommand::run);
    EXPECT_TRUE(window().timers.empty());
    EXPECT_FALSE(running() || menu().isGrayed(menuCommand::ftpSettings));
    ASSERT_EQ(tray.calls.size(), 4u);
    EXPECT_EQ(tray.calls[0].data.flags, NIF_ICON | NIF_TIP | NIF_DETAILS);
    EXPECT_EQ(tray.calls[0].data.details,
              "camera: ok\nJPEG file: ok\nupload: off\nnext grab in 1 s");
    EXPECT_EQ(tray.calls[0].data.icon, runningIconId);
    EXPECT_EQ(tray.calls[0].data.tip, activeTip);
    for (const auto& [call, icon] : {std::pair{1, runningIconId}, {2, grabbingIconId}}) {
        EXPECT_EQ(tray.calls[call].data.flags, NIF_ICON);
        EXPECT_EQ(tray.calls[call].data.icon, icon);
    }
    EXPECT_EQ(tray.calls[3].data.icon, idleIconId);
    EXPECT_EQ(tray.calls[3].data.tip, inactiveTip);
    EXPECT_EQ(tray.calls[3].data.details, "camera: ok\nJPEG file: ok\nupload: off");
}

// Outside the schedule's window the grabber keeps running without grabbing, its tip says
// until when, and it grabs again from the window's start on.
TEST_F(GrabScheduleTest, OutsideTheScheduleNothingIsGrabbedAndTheTipSaysUntilWhen) {
    Settings::setUpdate(1);
    Settings::setScheduleMode(1);
    Settings::setScheduleFrom("07:00");
    std::time_t now = localTime(2026, 6, 10, 6, 59, 58);
    build();
    mainWindow->setScheduleClock([&now] { return now; });
    command(menuCommand::run);
    const auto tipsSent = [this] {
        std::vector<std::string> tips;
        for (const auto& call : tray.take()) {
            if (call.data.flags & NIF_TIP) {
                tips.push_back(call.data.tip);
            }
        }
        return tips;
    };
    EXPECT_EQ(ticksToGrab(), -1);
    EXPECT_TRUE(running());
    EXPECT_EQ(tipsSent(), (std::vector{activeTip, activeTip + " [waiting until 07:00]"}));
    now += 2;
    EXPECT_EQ(ticksToGrab(), 2);
    EXPECT_EQ(tipsSent(), std::vector{activeTip});
}

TEST_F(GrabScheduleTest, InstantGrabAndTheImageDialogStartAFullIntervalAgain) {
    Settings::setUpdate(2);
    build();
    command(menuCommand::run);
    window().tick();
    command(menuCommand::instantGrab);
    EXPECT_EQ(framesSaved, 1);
    EXPECT_EQ(ticksToGrab(), 4);
    window().tick();
    command(menuCommand::imageSettings);
    EXPECT_EQ(ticksToGrab(), 4) << "after a cancelled dialog";
    dialogs.script = [](FakeDialogHost& host, const DialogProcedure& procedure) {
        host.setItemText(imageSettingsItem::update, "1");
        host.press(procedure, dialogOk);
    };
    command(menuCommand::imageSettings);
    EXPECT_EQ(ticksToGrab(), 2);
    // A grab that fails does not stop the grabber.
    service.saveFrame = nullptr;
    window().tick();
    window().tick();
    EXPECT_TRUE(running());
    EXPECT_TRUE(errorBoxes.empty());
}

// With the archive on, every grab is also kept, a second name of the new JPEG file, and is a
// frame of the day's video, which Exit closes.
TEST_F(GrabScheduleTest, WithTheArchiveOnEachGrabIsKeptAndAFrameOfTheDaysVideo) {
    Settings::setArchiveActive(true);
    Settings::setArchiveTimeLapse(true);
    build();
    command(menuCommand::run);
    std::set<std::string> kept;
    for (int grab = 1; grab <= 3; ++grab) {
        command(menuCommand::instantGrab);
        for (const auto& entry : std::filesystem::recursive_directory_iterator("archive")) {
            if (entry.path().extension() == ".jpg" && kept.insert(entry.path().string()).second) {
                EXPECT_TRUE(std::filesystem::equivalent(entry.path(), "image.jpg"));
            }
        }
        EXPECT_EQ(kept.size(), static_cast<std::size_t>(grab));
    }
    command(menuCommand::exitProgram);
    std::string video;
    for (const auto& entry : std::filesystem::directory_iterator("archive")) {
        video = entry.path().extension() == ".mp4" ? entry.path().string() : video;
    }
    const std::string probe = "ffprobe -v error -count_frames -show_entries stream=width,height,"
                              "nb_read_frames -of csv=p=0 " +
                              video + " > probe.txt";
    ASSERT_EQ(std::system(probe.c_str()), 0);
    EXPECT_EQ(readBytes("probe.txt"), "16,12,3\n");
}

// Uploads to a real FTP server on 127.0.0.1.
class GrabUploadTest : public MainWindowTest {
protected:
    void SetUp() override {
        Settings::setActive(true);
        Settings::setHost("127.0.0.1");
        Settings::setPort(server.port());
        Settings::setUser(server.user());
        Settings::setPassword(server.password());
        Settings::setSaveTo("cam.jpg");
        Settings::setUsePassive(true);
    }

    FtpServer server{FtpServer::Options{}};
};

// Grabs made while idle and an upload is going are not skipped: no later grab would bring
// the newest picture to the server. However many there were, they make one more upload.
TEST_F(GrabUploadTest, InstantGrabsWhileIdleUploadInTheBackgroundTheNewestLast) {
    build();
    for (int grab = 0; grab < 3; ++grab) {
        command(menuCommand::instantGrab);
    }
    ASSERT_TRUE(waitUntil([&] {
        window().deliverPosted();
        return tray.calls.back().data.icon == idleIconId;
    }));
    EXPECT_TRUE(waitUntil([&] { return server.storedCount() == 2; }));
    std::erase_if(tray.calls, [](const auto& call) { return !(call.data.flags & NIF_ICON); });
    ASSERT_EQ(tray.calls.size(), 2u);
    EXPECT_EQ(tray.calls[0].data.icon, grabbingIconId);
    EXPECT_EQ(tray.calls[0].data.tip, activeTip + " [instant grab]");
    EXPECT_EQ(tray.calls[1].data.icon, idleIconId);
    EXPECT_EQ(tray.calls[1].data.tip, inactiveTip);
    // The tool-tip tells when the last upload went.
    EXPECT_THAT(tray.calls[1].data.details,
                testing::ContainsRegex("\nupload: ok, last at [0-9][0-9]:[0-9][0-9]:[0-9][0-9]$"));
    EXPECT_TRUE(errorBoxes.empty());
}

// With the archive on the server, an instant grab while idle goes there too, on the same
// connection.
TEST_F(GrabUploadTest, AnInstantGrabWhileIdleGoesToTheServersArchiveToo) {
    Settings::setArchiveActive(true);
    Settings::setArchiveRemote("archive/%Y/%H%M%S.jpg");
    build();
    command(menuCommand::instantGrab);
    ASSERT_TRUE(waitUntil([&] {
        window().deliverPosted();
        return tray.calls.back().data.icon == idleIconId;
    }));
    EXPECT_EQ(server.storedCount(), 2);
    EXPECT_EQ(server.loginCount(), 1);
    std::vector<std::string> archived;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(server.home())) {
        if (entry.is_regular_file() && entry.path().parent_path() != server.home()) {
            archived.push_back(readBytes(entry.path()));
        }
    }
    EXPECT_EQ(archived, std::vector{readBytes(server.home() / "cam.jpg")});
}

TEST_F(GrabUploadTest, AFailedInstantUploadIsShownOnceIdleUnlessRunTookOver) {
    Settings::setPassword("wrong");
    build();
    testing::internal::CaptureStderr();
    for (const bool runFirst : {false, true}) {
        command(menuCommand::instantGrab);
        // The upload's end, not the health change its failure posts before it.
        ASSERT_TRUE(waitUntil([&] { return window().hasPosted(HealthStatus::changedMessage); }));
        if (runFirst) {
            command(menuCommand::run);
        }
        while (window().deliverPosted()) {
        }
    }
    // Standard error tells why, as it does for the upload thread.
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::StartsWith("kavriWebCam: upload failing: connect to 127.0.0.1:"));
    // The box, the tool-tip, one notification and the Status window add the server's answer.
    const std::string reason =
        "connect to 127.0.0.1:" + std::to_string(server.port()) + ": 530 Authentication failed.";
    EXPECT_EQ(errorBoxes,
              std::vector<std::string>{"kavri WebCam Error|" + connectMessage + "\n" + reason});
    EXPECT_EQ(tray.calls.back().data.icon, runningIconId);
    EXPECT_THAT(tray.calls.back().data.details, testing::HasSubstr("\nupload failing: " + reason));
    EXPECT_EQ(tray.messages, std::vector<std::string>{"kavriWebCam|upload failing: " + reason});
    command(menuCommand::status);
    EXPECT_THAT(system.texts["kavriWebCam Status"],
                testing::ContainsRegex("newest first:\n[0-9:]{8}  upload failing: " + reason));
}

TEST_F(GrabUploadTest, ThePlaceholderHostIsNeverContactedAndTheToolTipSaysSo) {
    Settings::setHost(placeholderHost);
    build();
    testing::internal::CaptureStderr();
    command(menuCommand::instantGrab);
    EXPECT_FALSE(window().hasPosted());
    command(menuCommand::run);
    window().tick();
    window().tick();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_THAT(tray.calls.back().data.details, testing::HasSubstr("\nupload: FTP not set up"));
}

// The tool-tip says where the live view listens, or why it cannot, which a notification and
// the Status window tell as a change.
TEST_F(MainWindowTest, TheLiveViewSaysWhereItListensOrWhyItCannot) {
    build();
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    getsockname(taken, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string where = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    Settings::setLiveActive(true);
    Settings::setLivePort(ntohs(address.sin_port));
    testing::internal::CaptureStderr();
    const auto apply = [this] {
        mainWindow->applyLiveViewSettings();
        while (window().deliverPosted()) {
        }
    };
    apply();
    const std::string refusal = "live view cannot listen on " + where + ": ";
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::StartsWith("kavriWebCam: " + refusal));
    ASSERT_EQ(tray.messages.size(), 1u);
    EXPECT_THAT(tray.messages[0], testing::StartsWith("kavriWebCam|" + refusal));
    EXPECT_THAT(tray.calls.back().data.details, testing::HasSubstr("\nupload: off\n" + refusal));
    close(taken);
    Settings::setLivePort(0);
    apply();
    const std::string url =
        "http://127.0.0.1:" + std::to_string(mainWindow->liveView().port()) + "/";
    EXPECT_THAT(tray.calls.back().data.details, testing::EndsWith("\nlive view: " + url));
    command(menuCommand::status);
    EXPECT_THAT(system.texts["kavriWebCam Status"],
                testing::ContainsRegex("live view: " + url +
                                       "\n\nChanges in this run, newest first:\n"
                                       "[0-9:]{8}  live view listening on " +
                                       url +
                                       "\n"
                                       "[0-9:]{8}  " +
                                       refusal));
}

TEST_F(GrabUploadTest, AnInstantUploadThatHangsHoldsNeitherTheWindowNorExit) {
    FtpServer silent(FtpServer::Options{FtpServer::Mode::Silent});
    Settings::setPort(silent.port());
    build();
    command(menuCommand::instantGrab);
    ASSERT_TRUE(waitUntil([&] { return silent.connectionCount() == 1; }));
    command(menuCommand::hide);
    EXPECT_FALSE(window().visible);
    const auto begin = std::chrono::steady_clock::now();
    command(menuCommand::exitProgram);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
    EXPECT_TRUE(window().destroyed);
    EXPECT_TRUE(errorBoxes.empty());
}

// Zoom, placement and dragging.

TEST_F(MainWindowTest, ZoomSizesTheWindowAndThePreviewTruncatingAndChecksItsItem) {
    service.statusToReport.uiImageWidth = 161;
    service.statusToReport.uiImageHeight = 121;
    build();
    const int sizes[][2] = {{40, 30},   {60, 45},   {80, 60},   {120, 90}, {161, 121},
                            {241, 181}, {322, 242}, {402, 302}, {483, 363}};
    for (int index = 0; index < 9; ++index) {
        window().move(30, 40);
        command(menuCommand::zoomFirst + index);
        const auto [width, height] = sizes[index];
        EXPECT_EQ(window().rect, (Rect{30, 40, 30 + width, 40 + height})) << index;
        EXPECT_EQ(service.resized.back().width, width);
        EXPECT_EQ(service.resized.back().height, height);
        EXPECT_EQ(menu().checkedAmong(menuCommand::zoomFirst, menuCommand::zoomLast),
                  std::vector{menuCommand::zoomFirst + index});
        EXPECT_EQ(mainWindow->getZoomIndex(), index);
    }
    // "Full" fills the screen at the picture's aspect, in its middle.
    command(menuCommand::zoomLast);
    EXPECT_EQ(window().rect, (Rect{1, 0, 1022, 768}));
    EXPECT_EQ(service.resized.back().height, 768);
    // Only 0 to 9 have a zoom step; anything else read from the file gets the default.
    for (const auto& [stored, applied] : {std::pair{-1, 3}, {0, 0}, {9, 9}, {10, 3}}) {
        mainWindow->setZoomIndex(stored);
        EXPECT_EQ(mainWindow->getZoomIndex(), applied) << stored;
    }
}

TEST_F(MainWindowTest, AStoredPositionOffThisScreenIsPulledOntoIt) {
    construct();
    const Point rows[][2] = {{{100, 50}, {100, 50}},     {{5000, 5000}, {848, 624}},
                             {{1014, 758}, {1014, 758}}, {{1015, 759}, {848, 624}},
                             {{2000, 10}, {848, 10}},    {{-30, -40}, {-30, -40}}};
    for (const auto& [stored, placed] : rows) {
        mainWindow->setPositionX(stored.x);
        mainWindow->setPositionY(stored.y);
        mainWindow->setupMenus();
        EXPECT_EQ((Point{window().rect.left, window().rect.top}), placed) << stored.x;
    }
}

// A zoom on screens with panels: the picture's size at the zoom; where that would not fit
// the work area of the screen the window is on, made smaller at its aspect and moved into
// that area.
struct ZoomFit {
    std::vector<Rect> areas;
    int imageWidth, imageHeight, zoomIndex;
    Point at;
    Rect expected;
};

class ZoomFitTest : public MainWindowTest, public testing::WithParamInterface<ZoomFit> {};

TEST_P(ZoomFitTest, TheWindowFitsTheWorkAreaOfItsScreen) {
    const ZoomFit& row = GetParam();
    service.statusToReport.uiImageWidth = static_cast<std::uint32_t>(row.imageWidth);
    service.statusToReport.uiImageHeight = static_cast<std::uint32_t>(row.imageHeight);
    system.areas = row.areas;
    build();
    window().move(row.at.x, row.at.y);
    command(menuCommand::zoomFirst + row.zoomIndex);
    EXPECT_EQ(window().rect, row.expected);
    EXPECT_EQ(service.resized.back().width, row.expected.width());
    EXPECT_EQ(service.resized.back().height, row.expected.height());
}

const std::vector<Rect> panelScreen{{0, 28, 1280, 800}};
const std::vector<Rect> twoScreens{{0, 0, 1024, 768}, {1024, 0, 2304, 1024}};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Screens, ZoomFitTest, testing::Values(
    ZoomFit{panelScreen, 1920, 1080, 3, {0, 0}, {0, 28, 1280, 748}},
    ZoomFit{panelScreen, 1920, 1080, 9, {0, 0}, {0, 54, 1280, 774}},
    ZoomFit{panelScreen, 480, 1920, 2, {500, 0}, {500, 28, 693, 800}},
    ZoomFit{panelScreen, 320, 240, 4, {1100, 700}, {1100, 700, 1420, 940}},
    ZoomFit{twoScreens, 1920, 1080, 4, {1400, 100}, {1024, 100, 2304, 820}},
    ZoomFit{twoScreens, 320, 240, 9, {1400, 100}, {1024, 32, 2304, 992}}));
// clang-format on

// One step of a drag: the cursor goes to the screen point (x, y), pressing the left button
// there or moving with it held, and the window's top-left corner must then be at
// (left, top).
struct DragStep {
    int x, y, left, top;
    bool press = false;
};

// Every drag starts with a press at (310, 215) on the 240 x 180 window (75% of 320 x 240)
// at (300, 200): the grabbed point is 10 and 15 pixels from its outer corner.
// The steps, on screens with these work areas.
struct DragRun {
    std::vector<DragStep> steps;
    std::vector<Rect> areas{{0, 0, 1024, 768}};
};

class DragTest : public MainWindowTest, public testing::WithParamInterface<DragRun> {
protected:
    void step(const DragStep& step, std::uintptr_t keys = mouseKey::MK_LBUTTON) {
        system.cursor = {step.x, step.y};
        window().deliver(
            step.press ? WM_LBUTTONDOWN : WM_MOUSEMOVE, keys,
            packMousePosition(step.x - window().rect.left - 1, step.y - window().rect.top - 1));
    }
};

TEST_P(DragTest, TheWindowKeepsTheGrabbedPointUnderTheCursorAndSnapsToTheEdges) {
    system.areas = GetParam().areas;
    build();
    window().move(300, 200);
    step({310, 215, 300, 200, true});
    EXPECT_TRUE(window().mouseCaptured);
    // Only a move with the left button alone drags.
    for (std::uintptr_t keys : {mouseKey::MK_LBUTTON | mouseKey::MK_SHIFT,
                                mouseKey::MK_LBUTTON | mouseKey::MK_RBUTTON, std::uintptr_t{0}}) {
        step({410, 265, 0, 0}, keys);
        EXPECT_EQ(window().rect.left, 300) << keys;
    }
    for (const DragStep& next : GetParam().steps) {
        step(next);
        EXPECT_EQ((Point{window().rect.left, window().rect.top}), (Point{next.left, next.top}))
            << next.x << "," << next.y;
    }
    window().deliver(WM_LBUTTONUP);
    EXPECT_FALSE(window().mouseCaptured);
    EXPECT_EQ(mainWindow->getPositionX(), window().rect.left);
    EXPECT_EQ(mainWindow->getPositionY(), window().rect.top);
}

// Snapping: the window first follows the cursor into the 20-pixel band, snaps on the next
// move and holds until the cursor has gone more than 20 pixels from where it snapped. It
// snaps to the edges of the work area, and lies exactly on them.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Steps, DragTest, testing::Values(
    DragRun{{{410, 265, 400, 250}, {500, 300, 490, 285}}},
    DragRun{{{25, 215, 15, 200}, {24, 215, 0, 200}, {44, 215, 0, 200}, {45, 215, 36, 200}}},
    DragRun{{{775, 215, 765, 200}, {776, 215, 784, 200}, {756, 215, 784, 200}, {755, 215, 744, 200}}},
    DragRun{{{310, 30, 300, 15}, {310, 29, 300, 0}, {310, 49, 300, 0}, {310, 50, 300, 36}}},
    DragRun{{{310, 584, 300, 569}, {310, 585, 300, 588}, {310, 565, 300, 588}, {310, 564, 300, 548}}},
    // A panel at the top and one at the right.
    DragRun{{{310, 58, 300, 43}, {310, 57, 300, 28}}, {{0, 28, 1024, 768}}},
    DragRun{{{735, 215, 725, 200}, {736, 215, 744, 200}}, {{0, 0, 984, 768}}},
    // The snap outlives the drag; the next press is where the pull is counted from.
    DragRun{{{25, 215, 15, 200}, {24, 215, 0, 200}, {10, 215, 0, 200, true}, {30, 230, 0, 215},
             {31, 230, 21, 215}}}));
// clang-format on

} // namespace
