#include "app/Program.h"

#include "app/CommandLine.h"
#include "app/TerminationSignals.h"
#include "capture/SystemCaptureService.h"
#include "platform/WindowTypes.h"
#include "qt/QtCaptureService.h"
#include "qt/QtDialogRunner.h"
#include "qt/QtErrorBox.h"
#include "qt/QtIcons.h"
#include "qt/QtPlatform.h"
#include "qt/QtTrayShell.h"
#include "qt/QtWindowSystem.h"

#include <QApplication>
#include <QSocketNotifier>

#include <iostream>

namespace {

// Standard error carries the program's own lines only. Qt's notes about its surroundings
// (a missing XDG_RUNTIME_DIR, a platform that cannot raise windows) are left out; its
// critical and fatal messages still get through.
QtMessageHandler qtMessageOutput = nullptr;

void keepQtNotesOffStandardError() {
    qtMessageOutput = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtCriticalMsg || type == QtFatalMsg) {
                qtMessageOutput(type, context, text);
            }
        });
}

// Says once what the platform chosen means for the user.
void reportPlatform(bool platformChosenHere) {
    if (platformChosenHere && onOffscreenPlatform()) {
        std::cerr << "kavriWebCam: no display found, running without one\n";
    } else if (onWaylandPlatform()) {
        std::cerr << "kavriWebCam: running on Wayland without X11: the window goes where the "
                     "desktop puts it and does not stay on top\n";
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // First of all, so that a request to end during a slow start-up is kept for the loop, and
    // last to go, so that none cuts the teardown short.
    TerminationSignals terminationSignals;
    if (!terminationSignals.isWatching()) {
        std::cerr << "kavriWebCam: cannot watch for termination signals\n";
        return 1;
    }
    if (const auto information = informationAsked(argc, argv)) {
        std::cout << *information;
        return 0;
    }
    const std::string commandLine = joinArguments(argc, argv);
    keepQtNotesOffStandardError();
    const bool platformChosenHere = choosePlatformFromEnvironment();
    // Qt sees the program's name only: the command line is the program's, which ignores what
    // is not one of its switches, and the platform is chosen through the environment.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    reportPlatform(platformChosenHere);
    // Closing the last window must not end the loop behind the program's back: Exit and the
    // end of the main window decide that.
    QApplication::setQuitOnLastWindowClosed(false);
    // The picture of every window, the dialogs' and the error boxes' too.
    QApplication::setWindowIcon(applicationIcon());
    installQtErrorBox();

    QtWindowSystem windowSystem;
    QtTrayShell trayShell;
    QtDialogRunner dialogs;

    // SIGINT, SIGTERM and SIGHUP end the program like the Exit command: the loop ends, and
    // the teardown stops grabbing, saves the settings when "Save On Exit" is set, ends the
    // upload thread and removes the temporary frame file.
    QSocketNotifier signalNotifier(terminationSignals.watchedDescriptor(), QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        terminationSignals.drain();
        windowSystem.quit(0);
    });

    const ProgramServices services{
        windowSystem, trayShell, dialogs,
        [&](bool withTestSource, CameraOutlets outlets) -> std::unique_ptr<CaptureService> {
            // Where nobody can look, no preview frames are made.
            return std::make_unique<QtCaptureService>(
                systemCaptureDrivers(withTestSource, std::move(outlets)), !onOffscreenPlatform());
        }};
    return runProgram(commandLine, showCommand::SW_SHOWNORMAL, services);
}
