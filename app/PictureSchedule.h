#pragma once

#include "app/GrabWindow.h"

#include <string>
#include <utility>

struct CaptureStatus;
class DialogRunner;
class TopLevelWindow;
class TrayIcon;

// The picture and schedule settings as the main window uses them: the "Picture" dialog, the
// preview following the picture options, and whether the running grabber grabs now, its
// tool-tip saying when grabbing starts again while it waits.
class PictureSchedule {
public:
    // The clock the schedule's days and times are read from.
    void setClock(GrabWindow::Clock clock) { window_ = GrabWindow(std::move(clock)); }
    // Hands the stored picture options to the preview.
    static void showInPreview();
    // Runs the Picture dialog for a frame of the camera's size, then hands the options to the
    // preview.
    static void runDialog(DialogRunner& dialogs, TopLevelWindow* owner,
                          const CaptureStatus& camera);
    // Whether the schedule settings let a grab happen now. When what the grabber waits for
    // changes, the tray's tip becomes activeTip with "[waiting until ...]" after it, or
    // activeTip alone again.
    bool allowsGrab(TrayIcon& tray, const std::string& activeTip);
    // The grabber starts with the active tip.
    void restart() { waitingFor_.clear(); }

private:
    GrabWindow window_;
    // What the tip says the grabber waits for; empty while it grabs.
    std::string waitingFor_;
};
