#include "app/Program.h"

#include "app/CommandLine.h"
#include "app/InstanceLock.h"
#include "app/MainWindow.h"
#include "app/PicturesHome.h"
#include "base/ErrorBox.h"
#include "base/Exception.h"
#include "base/FileDescriptor.h"
#include "base/ReplaceFile.h"
#include "capture/Capture.h"
#include "capture/CaptureService.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

#include <iostream>
#include <system_error>

namespace {

constexpr const char* errorFileName = "_ERROR.TXT";

// What start-up makes, torn down in reverse order of making: the main window's shutdown
// steps run while the capture object still exists, since saving reads its device.
class Session {
public:
    Session() = default;
    ~Session() { tearDown(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void tearDown() {
        if (lock) {
            lock->stopListening();
        }
        if (mainWindow) {
            mainWindow->shutdown();
        }
        capture.reset();
        service.reset();
        mainWindow.reset();
    }

    // Holds the directory for the whole run; its requests to show stop before the window goes.
    InstanceLock* lock = nullptr;
    // The main window first: the service's cameras and the capture object tell its live view.
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<CaptureService> service;
    std::unique_ptr<Capture> capture;
};

int runSession(const std::string& commandLine, int showCommand, const ProgramServices& services) {
    const std::vector<std::string> found = parseSwitches(commandLine, knownSwitches);
    if (commandLine.find(picturesSwitch) != std::string::npos) {
        enterPicturesHome();
    }
    InstanceLock lock;
    if (!lock.held()) {
        // Another start in this directory runs: its window comes forward, and this one ends.
        lock.askHolderToShow();
        return 0;
    }
    Session session;
    session.lock = &lock;
    int exitStatus = 0;
    try {
        session.mainWindow = std::make_unique<MainWindow>(services.windowSystem, services.trayShell,
                                                          services.dialogs, showCommand);
        LiveView& liveView = session.mainWindow->liveView();
        session.service =
            services.makeCaptureService(hasSwitch(found, "/testsource"), liveView.cameraOutlets());
        session.capture = std::make_unique<Capture>(
            *session.service, session.mainWindow->captureParent(),
            liveView.tell(LiveSource::Part::jpegFile, Capture::jpegHealthWords));
        session.mainWindow->setCapture(session.capture.get());
        loadSettingsFile({*session.mainWindow, *session.capture}, settingsFileName);
        session.capture->initialize();
        session.mainWindow->setupMenus();
        session.mainWindow->applyLiveViewSettings();
        lock.listen(session.mainWindow->raiser());
        exitStatus = session.mainWindow->messageLoop(hasSwitch(found, "/run"),
                                                     hasSwitch(found, "/minimized"));
    } catch (...) {
        session.tearDown();
        throw;
    }
    session.tearDown();
    return exitStatus;
}

void reportFatalError(const std::string& message) {
    const std::string text = message + '\n';
    replaceFile(errorFileName, [&text](FileDescriptor& file) { return file.writeAll(text); }, {});
    std::cerr << message << std::endl;
    showErrorBox("Program Terminating, error saved in _ERROR.TXT.\nCause:\n" + message);
}

} // namespace

int runProgram(const std::string& commandLine, int showCommand, const ProgramServices& services) {
    int exitStatus = fatalExitStatus;
    try {
        exitStatus = runSession(commandLine, showCommand, services);
    } catch (const NoDeviceException& error) {
        showErrorBox(error.message + "\nProgram Terminating.");
    } catch (const Exception& error) {
        reportFatalError(error.message);
    } catch (const std::system_error& error) {
        // What the system refuses, a thread above all, ends the program the same way.
        reportFatalError(std::string("System:: ") + error.what());
    }
    return exitStatus;
}
