#pragma once

#include "capture/CameraOutlets.h"

#include <functional>
#include <memory>
#include <string>

class CaptureService;
class DialogRunner;
class TrayShell;
class WindowSystem;

// What the program runs on: the window system, the tray, the dialogs, and a maker of the
// capture-window service, called once the switches are known (withTestSource is
// "/testsource") and the main window is made, whose live view the cameras tell through
// outlets. The three services must outlive runProgram.
struct ProgramServices {
    WindowSystem& windowSystem;
    TrayShell& trayShell;
    DialogRunner& dialogs;
    std::function<std::unique_ptr<CaptureService>(bool withTestSource, CameraOutlets outlets)>
        makeCaptureService;
};

// The exit status after a fatal error ended the program.
inline constexpr int fatalExitStatus = 1;

// The whole life of the program on the calling thread: sets up the thread registry, reads
// the switches from commandLine, with "--pictures" enters the pictures folder's kavriWebCam
// folder (made when missing), and where another start holds this directory (InstanceLock)
// asks it to show its window and returns 0 at once, touching no file; else makes the main
// window (shown with showCommand), the capture-window service and the capture object, loads
// "kavriWebCam.ini" from the current directory, connects a device, builds the menus and runs
// the event loop, posting Run for "/run" and then Hide for "/minimized"; then tears
// everything down (the main window's shutdown steps while the capture object still exists,
// the capture object, the service, the main window, the registry) and returns the loop's
// exit status.
//
// An Exception raised anywhere in between first tears down what was made, in reverse
// order, and then ends the program with fatalExitStatus: NoDeviceException with an error
// box holding its message and "\nProgram Terminating."; any other one writes its message and
// a line end to "_ERROR.TXT" (through replaceFile), puts it on standard error and shows it
// in an error box. A std::system_error (a thread that cannot be started) is treated as the
// latter, with "System:: " before its text.
int runProgram(const std::string& commandLine, int showCommand, const ProgramServices& services);
