#pragma once

#include "app/MainWindow.h"
#include "capture/Capture.h"
#include "platform/ErrorBox.h"
#include "res/MenuTemplates.h"
#include "settings/Settings.h"
#include "tests/capture/RecordingCaptureService.h"
#include "tests/capture/WorkingDirectory.h"
#include "tests/support/DibBuilder.h"
#include "tests/support/FakeDialogRunner.h"
#include "tests/support/FakeWindowSystem.h"
#include "tests/support/RecordingTrayShell.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// What the fake menu logs for an action on an item, e.g. "menu check 32803".
inline std::string menuEntry(const std::string& action, int id) {
    return "menu " + action + " " + std::to_string(id);
}

// A main window over the fake window system, tray and dialog runner, with a real capture
// object over a recording capture service that offers three devices and saves a small
// frame on every grab, in a temporary working directory. FTP is off unless a test turns it
// on; the window is built by build(), so a test can change the set-up first.
class MainWindowTest : public testing::Test {
protected:
    MainWindowTest() {
        Settings::setActive(false);
        Settings::setSaveSettingsOnExit(false);
        Settings::setDateTimeOverlay(false);
        Settings::setHost("127.0.0.1");
        system.menuTemplate = findMenuTemplate(mainMenuId);
        service.descriptions = {"Cam Zero", "Cam One", "Cam Two"};
        service.capsToReport.fHasDlgVideoFormat = true;
        service.capsToReport.fHasDlgVideoSource = true;
        service.capsToReport.fHasDlgVideoDisplay = true;
        service.statusToReport.uiImageWidth = 320;
        service.statusToReport.uiImageHeight = 240;
        service.saveFrame = [this](const std::string& fileName) {
            ++framesSaved;
            DibBuilder(16, 12, 24).writeTo(fileName);
        };
        previousSink = setErrorBoxSink([this](const std::string& caption, const std::string& text) {
            system.log.add("error box " + text);
            errorBoxes.push_back(caption + "|" + text);
        });
    }

    ~MainWindowTest() override {
        mainWindow.reset();
        capture.reset();
        setErrorBoxSink(previousSink);
    }

    // Constructs, wires and sets up the window as start-up does, then forgets the calls
    // made so far.
    void build(int showCommand = showCommand::SW_SHOWNORMAL) {
        construct(showCommand);
        setUp();
    }
    // The steps before menu set-up: window, capture object, devices connected.
    void construct(int showCommand = showCommand::SW_SHOWNORMAL) {
        mainWindow = std::make_unique<MainWindow>(system, tray, dialogs, showCommand);
        capture = std::make_unique<Capture>(service, mainWindow->captureParent());
        mainWindow->setCapture(capture.get());
        capture->initialize();
    }
    void setUp() {
        mainWindow->setupMenus();
        system.log.take();
        tray.take();
        service.sent.clear();
        service.resized.clear();
    }

    FakeTopLevelWindow& window() { return *system.window; }
    FakeMenu& menu() { return *system.menu; }
    std::optional<std::intptr_t> command(int id) {
        return window().deliver(windowMessage::WM_COMMAND, static_cast<std::uintptr_t>(id), 0);
    }
    bool running() { return menu().isChecked(menuCommand::run); }
    // The icons of the tray calls since the last take.
    std::vector<int> trayIcons() {
        std::vector<int> icons;
        for (const auto& call : tray.take()) {
            icons.push_back(call.data.icon);
        }
        return icons;
    }

    SettingsSnapshot settings;
    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    FakeWindowSystem system;
    RecordingTrayShell tray{&system.log};
    FakeDialogRunner dialogs{&system.log};
    RecordingCaptureService service;
    int framesSaved = 0;
    std::vector<std::string> errorBoxes;
    ErrorBoxSink previousSink;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<Capture> capture;
};
