#include "app/Program.h"

#include "app/AboutDialog.h"
#include "app/CommandLine.h"
#include "app/InstanceLock.h"
#include "app/PicturesHome.h"
#include "app/TerminationSignals.h"
#include "base/Exception.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/live/LiveClients.h"
#include "tests/support/Deadline.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <system_error>

namespace {

// Start-up over the fakes of the main window's tests, run by runProgram itself, with a copy
// of the test's capture service.
class ProgramTest : public MainWindowTest {
protected:
    int run(const std::string& commandLine) {
        const ProgramServices services{system, tray, dialogs, [this](bool, CameraOutlets given) {
                                           outlets = std::move(given);
                                           auto made =
                                               std::make_unique<RecordingCaptureService>(service);
                                           live = made.get();
                                           return made;
                                       }};
        return runProgram(commandLine, showCommand::SW_SHOWNORMAL, services);
    }

    RecordingCaptureService* live = nullptr;
    CameraOutlets outlets;
};

// The cameras and the capture object tell the main window's live view.
TEST_F(ProgramTest, StatusTellsTheCameraAndTheJpegFileOfTheProgram) {
    Settings::setLiveActive(true);
    Settings::setLivePort(0);
    Settings::setJpegFile("missing/image.jpg");
    system.idle = [&] {
        command(menuCommand::instantGrab);
        outlets.health("kavriWebCam: camera lost: Cam One at /dev/video1: No such device");
        const auto* liveView = dynamic_cast<LiveView*>(outlets.frames);
        ASSERT_TRUE(liveView);
        const std::string status =
            runClient("curl -s 127.0.0.1:" + std::to_string(liveView->port()) + "/status").output;
        EXPECT_NE(status.find("{\"camera\":{\"state\":\"failing\",\"line\":\"kavriWebCam: "
                              "camera lost: Cam One at /dev/video1: No such device\"},\"jpegFile\":"
                              "{\"state\":\"failing\",\"line\":\"kavriWebCam: JPEG file cannot "
                              "be written: missing/image.jpg: No such file or directory\"}"),
                  std::string::npos)
            << status;
        command(menuCommand::exitProgram);
    };
    EXPECT_EQ(run(""), 0);
}

TEST_F(ProgramTest, LoadsTheSettingsBeforeConnectingAndRunsAndHidesAsAsked) {
    std::ofstream("kavriWebCam.ini") << "<capture devicenumber='1'/>";
    // Once the loop has handled what start-up posted.
    system.idle = [&] {
        const auto connect = std::ranges::find(live->sent, CaptureMessage::WM_CAP_DRIVER_CONNECT,
                                               &RecordingCaptureService::Sent::message);
        ASSERT_NE(connect, live->sent.end());
        EXPECT_EQ(connect->wParam, 1u);
        EXPECT_TRUE(running());
        EXPECT_FALSE(window().visible);
        command(menuCommand::exitProgram);
    };
    EXPECT_EQ(run("/minimized x /run"), 0);
    EXPECT_FALSE(std::filesystem::exists("_ERROR.TXT"));
    EXPECT_TRUE(errorBoxes.empty());
}

TEST_F(ProgramTest, ASecondStartInTheSameDirectoryBringsTheFirstWindowBackAndEnds) {
    bool asked = false;
    bool raised = false;
    system.idle = [&] {
        if (!asked) {
            command(menuCommand::hide);
            const auto files = [] {
                return std::vector(std::filesystem::directory_iterator("."), {});
            };
            const auto before = files();
            EXPECT_EQ(run(""), 0);
            EXPECT_EQ(files(), before);
            // Elsewhere, another start holds a directory of its own.
            const TempDir elsewhere;
            const WorkingDirectory there(elsewhere.path());
            EXPECT_TRUE(InstanceLock().held());
            asked = true;
        } else if ((raised = window().visible) ||
                   !waitUntil([&] { return window().hasPosted(); })) {
            command(menuCommand::exitProgram);
        }
    };
    EXPECT_EQ(run(""), 0);
    // The window is gone with the program; whether it was back is what the loop saw.
    EXPECT_TRUE(raised);
}

// What goes wrong in the loop (or, when null, the main window cannot be made), and the
// message that reports it.
struct FatalCase {
    std::function<void()> raise;
    std::string message;
};

class FatalError : public ProgramTest, public testing::WithParamInterface<FatalCase> {};

TEST_P(FatalError, IsSavedReportedAndShownAfterTheTeardown) {
    Settings::setSaveSettingsOnExit(true);
    std::ofstream("_ERROR.TXT") << "an older and much longer error text\n";
    system.idle = GetParam().raise;
    system.createWorks = GetParam().raise != nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(""), fatalExitStatus);
    const std::string message = GetParam().message;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message + "\n");
    EXPECT_EQ((std::ostringstream() << std::ifstream("_ERROR.TXT").rdbuf()).str(), message + "\n");
    const std::string box = "|Program Terminating, error saved in _ERROR.TXT.\nCause:\n" + message;
    EXPECT_EQ(errorBoxes, std::vector<std::string>{errorBoxCaption + box});
    // The teardown ran first: the settings were saved, unless there was no window.
    EXPECT_EQ(std::filesystem::exists("kavriWebCam.ini"), system.createWorks);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(, FatalError, testing::Values(
    FatalCase{[] { throw Exception("first line\nsecond line"); }, "first line\nsecond line"},
    // What std::thread raises when the system has no thread to give.
    FatalCase{[] { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); },
              "System:: Resource temporarily unavailable"},
    FatalCase{nullptr, "MainWindow::MainWindow  - CreateWindowEx"}));
// clang-format on

using Found = std::vector<std::string>;

TEST(CommandLineTest, FindsTheKnownSwitchesAnywhereByteForByteInListOrder) {
    // clang-format off
    const std::pair<std::string, Found> rows[] = {
        {"", {}}, {"/minimized x/runy", {"/run", "/minimized"}},
        {"/testsource/minimized/run /run", {"/run", "/minimized", "/testsource"}},
        {"/running", {"/run"}}, {"/RUN /Minimized run", {}}};
    // clang-format on
    for (const auto& [commandLine, found] : rows) {
        EXPECT_EQ(parseSwitches(commandLine, knownSwitches), found) << commandLine;
    }
    EXPECT_TRUE(hasSwitch({"/run"}, "/run"));
    EXPECT_FALSE(hasSwitch({"/run"}, "/ru"));
    const char* const argv[] = {"kavriwebcam", "/run", "two words", "/minimized"};
    EXPECT_EQ(joinArguments(4, argv), "/run two words /minimized");
    EXPECT_EQ(joinArguments(1, argv), "");
    for (const auto& [argument, printed] :
         {std::pair{"--version", "kavriWebCam " KAVRI_VERSION "\n"}, {"--versions", ""}}) {
        const char* const asking[] = {"kavriwebcam", "/run", argument};
        EXPECT_EQ(informationAsked(3, asking).value_or(""), printed);
    }
    const char* const help[] = {"kavriwebcam", "--help"};
    EXPECT_TRUE(informationAsked(2, help).value_or("").starts_with("Usage: kavriwebcam [/run]"));
}

TEST(PicturesHomeTest, IsKavriWebCamInTheUsersPicturesFolder) {
    const TempDir config;
    const std::string home = std::getenv("HOME");
    setenv("HOME", "/home/cam", 1);
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    EXPECT_EQ(picturesHome(), "/home/cam/Pictures/kavriWebCam");
    std::ofstream(config.path() / "user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    EXPECT_EQ(picturesHome(), "/home/cam/Bilder/kavriWebCam");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", home.c_str(), 1);
}

bool readable(int descriptor) {
    pollfd watched{descriptor, POLLIN, 0};
    return ::poll(&watched, 1, 0) == 1;
}

TEST(TerminationSignalsTest, EveryRequestToEndReachesTheLoopAndAFloodNeverBlocksTheHandler) {
    {
        TerminationSignals signals;
        ASSERT_TRUE(signals.isWatching());
        std::raise(SIGPIPE);
        // More requests than the pipe holds, none taken: a handler that waited for room
        // would wait for good, and the alarm would end the test.
        ::alarm(60);
        for (int round = 0; round < 30000; ++round) {
            for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
                std::raise(signalNumber);
            }
        }
        ::alarm(0);
        EXPECT_TRUE(readable(signals.watchedDescriptor()));
        signals.drain();
        EXPECT_FALSE(readable(signals.watchedDescriptor()));
    }
    // Once the teardown is over a request changes nothing any more.
    std::raise(SIGINT);
}

TEST(AboutDialogTest, AsksForTheInitialFocusAndOkAndCancelEndItWithTheirId) {
    for (const int button : {dialogOk, dialogCancel}) {
        FakeDialogHost dialog;
        EXPECT_TRUE(dialog.open(aboutDialogProc));
        EXPECT_FALSE(dialog.press(aboutDialogProc, 3));
        EXPECT_TRUE(dialog.press(aboutDialogProc, button));
        EXPECT_EQ(dialog.endResult, button);
    }
}

} // namespace
