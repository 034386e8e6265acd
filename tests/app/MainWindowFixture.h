#pragma once

#include "app/MainWindow.h"
#include "base/ErrorBox.h"
#include "capture/Capture.h"
#include "res/Icons.h"
#include "res/MenuTemplates.h"
#include "res/Version.h"
#include "settings/Settings.h"
#include "tests/support/DibBuilder.h"
#include "tests/support/FakeDialogRunner.h"
#include "tests/support/FakeWindowSystem.h"
#include "tests/support/RecordingCaptureService.h"
#include "tests/support/RecordingTrayShell.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkingDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>

inline const std::string activeTip = "kavriWebCam v" KAVRI_VERSION " [active]";
inline const std::string inactiveTip = "kavriWebCam v" KAVRI_VERSION " [inactive]";

// A main window over the fake window system, tray and dialog runner, with a real capture
// object over a recording service that offers three devices with every driver dialog and
// saves a small frame on every grab, in a temporary working directory. FTP is off.
class MainWindowTest : public testing::Test {
protected:
    MainWindowTest() {
        Settings::setActive(false);
        Settings::setSaveSettingsOnExit(false);
        Settings::setDateTimeOverlay(false);
        system.menuTemplate = findMenuTemplate(mainMenuId);
        service.descriptions = {"Cam Zero", "Cam One", "Cam Two"};
        service.capsToReport = {true, true, true};
        service.statusToReport.uiImageWidth = 320;
        service.statusToReport.uiImageHeight = 240;
        service.saveFrame = [this](const std::string& fileName) {
            ++framesSaved;
            DibBuilder(16, 12, 24).writeTo(fileName);
        };
        // A box must find the tray idle already.
        previousSink = setErrorBoxSink([this](const std::string& caption, const std::string& text) {
            const bool idle = tray.calls.empty() || tray.calls.back().data.icon == idleIconId;
            errorBoxes.push_back(caption + "|" + text + (idle ? "" : " [tray not idle]"));
        });
    }
    ~MainWindowTest() override { setErrorBoxSink(previousSink); }

    // Makes the window and the capture object as start-up does; build also sets up the
    // menus and forgets what was sent so far.
    void construct() {
        mainWindow =
            std::make_unique<MainWindow>(system, tray, dialogs, showCommand::SW_SHOWNORMAL);
        capture = std::make_unique<Capture>(service, mainWindow->captureParent());
        mainWindow->setCapture(capture.get());
        capture->initialize();
    }
    void build() {
        construct();
        mainWindow->setupMenus();
        tray.take();
        service.sent.clear();
    }

    FakeTopLevelWindow& window() { return *system.window; }
    FakeMenu& menu() { return *system.menu; }
    std::optional<std::intptr_t> command(int id) {
        return window().deliver(windowMessage::WM_COMMAND, static_cast<std::uintptr_t>(id));
    }
    bool running() { return menu().isChecked(menuCommand::run); }
    bool sentToDriver(CaptureMessage message, std::uintptr_t wParam) {
        return std::ranges::any_of(service.sent, [&](const auto& sent) {
            return sent.message == message && sent.wParam == wParam;
        });
    }

    SettingsSnapshot settings;
    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    FakeWindowSystem system;
    RecordingTrayShell tray;
    FakeDialogRunner dialogs;
    RecordingCaptureService service;
    int framesSaved = 0;
    std::vector<std::string> errorBoxes;
    ErrorBoxSink previousSink;
    // The window goes first: its shutdown may save the device of the capture object.
    std::unique_ptr<Capture> capture;
    std::unique_ptr<MainWindow> mainWindow;
};
