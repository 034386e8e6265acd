#include "app/Program.h"

#include "ftp/Thread.h"
#include "platform/ErrorBox.h"
#include "platform/Exception.h"
#include "res/MenuTemplates.h"
#include "settings/Settings.h"
#include "tests/app/MainWindowFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

// Hands every call to a recording service the test keeps, so what start-up sent can be
// looked at after the program has destroyed its service.
class ForwardingCaptureService : public CaptureService {
public:
    explicit ForwardingCaptureService(CaptureService& target)
        : target(target) {}

    CaptureWindow createCaptureWindow(const std::string& name, std::uint32_t style, int x, int y,
                                      int width, int height, const ParentWindow& parent,
                                      int id) override {
        return target.createCaptureWindow(name, style, x, y, width, height, parent, id);
    }
    std::optional<std::string> getDriverDescription(std::uint32_t index,
                                                    std::size_t bufferBytes) override {
        return target.getDriverDescription(index, bufferBytes);
    }
    std::optional<std::uint32_t> refreshDrivers(CaptureWindow window) override {
        return target.refreshDrivers(window);
    }
    bool isWindow(CaptureWindow window) override { return target.isWindow(window); }
    std::intptr_t sendMessage(CaptureWindow window, CaptureMessage message, std::uintptr_t wParam,
                              CaptureParam lParam) override {
        return target.sendMessage(window, message, wParam, lParam);
    }
    void resizeWindow(CaptureWindow window, int width, int height) override {
        target.resizeWindow(window, width, height);
    }
    void hookWindow(CaptureWindow window, WindowHook hook) override {
        target.hookWindow(window, std::move(hook));
    }

private:
    CaptureService& target;
};

std::string readFile(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

// Start-up over the fakes of the main window's tests, run by runProgram itself.
class ProgramTest : public MainWindowTest {
protected:
    int run(const std::string& commandLine) {
        const ProgramServices services{system, tray, dialogs, [this](bool withTestSource) {
                                           testSourceAsked = withTestSource;
                                           return std::make_unique<ForwardingCaptureService>(
                                               service);
                                       }};
        return runProgram(commandLine, showCommand::SW_SHOWNORMAL, services);
    }
    // Ends the loop the way the Exit command does, once the posted messages are handled.
    void exitWhenIdle() {
        system.idle = [this] {
            system.idle = nullptr;
            window().postMessage(windowMessage::WM_COMMAND, menuCommand::exitProgram, 0);
        };
    }
    bool connected(std::uintptr_t device) const {
        for (const auto& sent : service.sent) {
            if (sent.message == CaptureMessage::WM_CAP_DRIVER_CONNECT && sent.wParam == device) {
                return true;
            }
        }
        return false;
    }

    std::optional<bool> testSourceAsked;
};

TEST_F(ProgramTest, StartsUpInOrderPostsRunThenHideFirstAndEndsWithZero) {
    // Device 1 and the zoom come from the settings file, so it was loaded before the
    // device was connected.
    writeFile("kavriWebCam.ini", "<kavriwebcam>\r\n"
                                 "  <capture\r\n    devicenumber = '1'\r\n  >\r\n  </capture>\r\n"
                                 "  <program\r\n    windowzoom = '5'\r\n  >\r\n  </program>\r\n"
                                 "</kavriwebcam>\r\n");
    std::vector<FakeTopLevelWindow::Message> postedAtStart;
    system.runHook = [&] {
        EXPECT_NE(Thread::mainThread(), nullptr);
        EXPECT_TRUE(connected(1));
        EXPECT_FALSE(connected(0));
        EXPECT_NE(system.menu, nullptr);
        postedAtStart.assign(window().posted.begin(), window().posted.end());
    };
    exitWhenIdle();

    EXPECT_EQ(run("/minimized x /run"), 0);

    EXPECT_EQ(testSourceAsked, false);
    const std::vector<FakeTopLevelWindow::Message> expected = {
        {windowMessage::WM_COMMAND, menuCommand::run, 0},
        {windowMessage::WM_COMMAND, menuCommand::hide, 0}};
    EXPECT_EQ(postedAtStart, expected);
    EXPECT_EQ(Thread::mainThread(), nullptr);
    EXPECT_FALSE(std::filesystem::exists("_ERROR.TXT"));
    EXPECT_TRUE(errorBoxes.empty());
}

TEST_F(ProgramTest, WithoutSwitchesNothingIsPostedAndTheTestSourceIsAskedForOnlyWithItsSwitch) {
    std::size_t postedAtStart = 99;
    system.runHook = [&] { postedAtStart = window().posted.size(); };
    exitWhenIdle();
    EXPECT_EQ(run("/testsource"), 0);
    EXPECT_EQ(postedAtStart, 0u);
    EXPECT_EQ(testSourceAsked, true);
}

TEST_F(ProgramTest, SaveOnExitWritesTheDeviceOfTheLivingCaptureObjectAndRemovesTheFrameFile) {
    Settings::setSaveSettingsOnExit(true);
    writeFile("kavriWebCam.ini", "<kavriwebcam>\r\n  <capture\r\n    devicenumber = '2'\r\n"
                                 "  >\r\n  </capture>\r\n</kavriwebcam>\r\n");
    system.idle = [this] {
        system.idle = nullptr;
        window().postMessage(windowMessage::WM_COMMAND, menuCommand::instantGrab, 0);
        window().postMessage(windowMessage::WM_COMMAND, menuCommand::exitProgram, 0);
    };
    EXPECT_EQ(run(""), 0);
    const std::string saved = readFile("kavriWebCam.ini");
    EXPECT_NE(saved.find("devicename = 'Cam Two'"), std::string::npos) << saved;
    EXPECT_NE(saved.find("devicenumber = '2'"), std::string::npos) << saved;
    EXPECT_EQ(framesSaved, 1);
    EXPECT_FALSE(std::filesystem::exists("_temp.dib"));
}

TEST_F(ProgramTest, NoDeviceShowsItsBoxWritesNoErrorFileAndStillSavesOnExit) {
    Settings::setSaveSettingsOnExit(true);
    service.descriptions.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(run("/run"), fatalExitStatus);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(errorBoxes.size(), 1u);
    EXPECT_EQ(errorBoxes[0], std::string(errorBoxCaption) +
                                 "|Capture:: There is no capture-device available.\n"
                                 "Program Terminating.");
    EXPECT_FALSE(std::filesystem::exists("_ERROR.TXT"));
    EXPECT_NE(readFile("kavriWebCam.ini").find("savesettingsonexit = '1'"), std::string::npos);
    EXPECT_EQ(Thread::mainThread(), nullptr);
}

// What goes wrong in the loop, and the message that reports it.
struct FatalCase {
    const char* name;
    std::function<void()> raise;
    std::string message;
};

class FatalError : public ProgramTest, public testing::WithParamInterface<FatalCase> {};

TEST_P(FatalError, IsSavedReportedAndShownAfterTheTeardown) {
    Settings::setSaveSettingsOnExit(true);
    writeFile("_ERROR.TXT", "an older and much longer error text\n");
    system.idle = GetParam().raise;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(""), fatalExitStatus);
    const std::string message = GetParam().message;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message + "\n");
    EXPECT_EQ(readFile("_ERROR.TXT"), message + "\n");
    ASSERT_EQ(errorBoxes.size(), 1u);
    EXPECT_EQ(errorBoxes[0], std::string(errorBoxCaption) +
                                 "|Program Terminating, error saved in _ERROR.TXT.\nCause:\n" +
                                 message);
    // The teardown ran first: the settings were saved and the tray icon removed.
    EXPECT_TRUE(std::filesystem::exists("kavriWebCam.ini"));
    EXPECT_FALSE(std::filesystem::exists("_temp.dib"));
}

INSTANTIATE_TEST_SUITE_P(
    , FatalError,
    testing::Values(FatalCase{"ProgramError", [] { throw Exception("first line\nsecond line"); },
                              "first line\nsecond line"},
                    // What std::thread raises when the system has no thread to give.
                    FatalCase{"ThreadThatCannotStart",
                              [] {
                                  throw std::system_error(std::make_error_code(
                                      std::errc::resource_unavailable_try_again));
                              },
                              "System:: Resource temporarily unavailable"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramTest, AMainWindowThatCannotBeMadeHasNothingToSave) {
    Settings::setSaveSettingsOnExit(true);
    system.createWorks = false;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(""), fatalExitStatus);
    const std::string debuggerOutput = testing::internal::GetCapturedStderr();
    ASSERT_EQ(errorBoxes.size(), 1u);
    EXPECT_EQ(readFile("_ERROR.TXT"), debuggerOutput);
    EXPECT_FALSE(std::filesystem::exists("kavriWebCam.ini"));
    EXPECT_EQ(Thread::mainThread(), nullptr);
}

} // namespace
