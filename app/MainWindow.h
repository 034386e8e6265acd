#pragma once

#include "app/Archiving.h"
#include "app/DeviceMenu.h"
#include "app/GrabSchedule.h"
#include "app/HealthStatus.h"
#include "app/LiveView.h"
#include "app/PictureSchedule.h"
#include "app/Uploads.h"
#include "app/WindowDrag.h"
#include "app/WindowPresence.h"
#include "app/WindowZoom.h"
#include "capture/CaptureService.h"
#include "platform/WindowTypes.h"
#include "res/Version.h"
#include "settings/WindowSettings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

class Capture;
class DialogRunner;
class Menu;
class TopLevelWindow;
class TrayIcon;
class TrayShell;
class WindowSystem;

// The program's one top-level window: a small borderless, always-on-top tool window that
// holds the capture window's live preview. Everything is reached through its context menu
// (right click on the window or on the tray icon). It owns the window, the menu, the tray
// icon, the grab schedule, the uploads and the window's dragging; it holds the capture
// object, which start-up creates and destroys, without owning it.
//
// Run starts a 500 ms timer that drives the grab schedule; at each grab the JPEG file written
// goes to the uploads, and the tray icon and the menu show whether the grabber is idle,
// counting down or grabbing. An instant grab while idle uploads on a worker of its own and
// reports back with a window message. The health journal's changes come as a window message
// too, and go to the tray's tool-tip, a notification and the Status window.
//
// Every window message reaches it through windowProc, also the mouse messages the capture
// window passes on. Used on the user interface thread only.
class MainWindow : public WindowSettings {
public:
    // The message the tray icon sends this window; lParam is the mouse message.
    static constexpr std::uint32_t trayCallbackMessage = 2001;

    // Creates the window at (0, 0) in 176 x 144, shows it with showCommand and adds the
    // idle tray icon. The three services must outlive this object. Throws Exception when the
    // window cannot be created or the tray icon cannot be allocated.
    MainWindow(WindowSystem& windowSystem, TrayShell& trayShell, DialogRunner& dialogs,
               int showCommand);
    virtual ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The window the capture window is created in: this window's handle, and a mouse
    // procedure that hands what the capture window passes on to the window procedure.
    ParentWindow captureParent();
    // Throws Exception for a null capture object.
    void setCapture(Capture* capture);
    // Loads the context menu, fills the device submenu, greys the driver dialogs the driver
    // lacks, and applies the stored frame rate, position and zoom. Throws Exception without
    // a capture object.
    void setupMenus();
    // Starts, restarts or stops the live view's web server after the settings.
    void applyLiveViewSettings() { liveView_.applySettings(); }
    // The live view, which the capture side tells of the camera and the JPEG file.
    LiveView& liveView() { return liveView_; }
    // Posts Run and then Hide as asked (so they come before any input), runs the event loop
    // and returns its exit code.
    int messageLoop(bool run, bool hide);
    // Stops running, saves the settings when "Save On Exit" is set, ends the uploads,
    // destroys the menu and removes the tray icon. Only the first call acts.
    void shutdown();
    // Stop: also puts menu and tray into the idle state when already idle.
    void stopRunning();
    // The clock the grab schedule's days and times are read from; the system's by default.
    void setScheduleClock(GrabWindow::Clock clock) { pictureSchedule_.setClock(std::move(clock)); }
    // What another start of the program in this directory calls, from any thread, to have
    // this window shown and brought to the front.
    std::function<void()> raiser() { return WindowPresence::raiser(*window_); }

    // For the settings file. A zoom index outside 0 to 9 is stored as the default 3.
    int getZoomIndex() const override { return zoom_.index(); }
    void setZoomIndex(int index) override { zoom_.store(index); }
    // Where the window stands now (its normal rectangle), which is also stored.
    int getPositionX() override;
    int getPositionY() override;
    void setPositionX(int x) override { position_.x = x; }
    void setPositionY(int y) override { position_.y = y; }

private:
    // The window procedure: the result of a message it handles, nothing for default
    // processing.
    std::optional<std::intptr_t> windowProc(std::uint32_t message, std::uintptr_t wParam,
                                            std::intptr_t lParam);
    // Handles a menu command; false for an id that is not one.
    bool onCommand(int id);
    void onTrayClick(std::intptr_t mouseMessage);
    Capture& requireCapture();
    void showPopupMenu(Point screen);
    void saveSettings();
    void checkItem(int id, bool checked);
    void enableItem(int id, bool enabled);

    // Run: starts the grab schedule from the interval of the setting update and, with FTP
    // on, the upload thread with the FTP settings of this moment.
    void startRunning();
    void onTimer();
    // Grabs a frame with the image settings of this moment and hands it to the upload thread; an
    // upload thread that had stopped stops the grabber and shows the error.
    // Grabs a frame with the settings of this moment; the JPEG file written, if any, is also
    // what the live view shows.
    std::optional<std::string> grab();
    void grabAndUpload();
    // Instant Grab!: while running, grabs and restarts the full interval; while idle, grabs
    // and, when FTP is on, uploads it on a worker.
    void instantGrab();
    // The instant grab's upload has ended: idle and, after a failure, the error box, unless
    // a next upload goes on.
    void onInstantUploadEnded();

    void setZoom(int index) { zoom_.apply(index, menu_.get(), *window_, requireCapture()); }

    static constexpr int createdWidth = 176;
    static constexpr int createdHeight = 144;
    static constexpr std::uintptr_t timerId = 303;
    static constexpr const char* title = "kavriWebCam";
    static constexpr const char* activeTip = "kavriWebCam v" KAVRI_VERSION " [active]";
    static constexpr const char* inactiveTip = "kavriWebCam v" KAVRI_VERSION " [inactive]";

    WindowSystem& windowSystem_;
    DialogRunner& dialogs_;
    // Before the uploads, whose health line tells it how uploads fare.
    LiveView liveView_;

    bool shutdownDone_ = false;
    std::unique_ptr<TrayIcon> trayIcon_;
    WindowPresence presence_;
    std::unique_ptr<Menu> menu_;
    // While the context menu is shown (its event loop runs inside showPopupMenu).
    bool menuOpen_ = false;
    std::unique_ptr<TopLevelWindow> window_;
    // Set once the constructor has made the window and this object ready for its messages;
    // until then they get default processing.
    bool linked_ = false;
    Capture* capture_ = nullptr;
    DeviceMenu devices_;

    GrabSchedule schedule_;
    Uploads uploads_;
    WindowDrag drag_;
    PictureSchedule pictureSchedule_;
    Archiving archiving_;

    WindowZoom zoom_;
    HealthStatus health_;

    // The window's place as stored.
    Point position_;
};
