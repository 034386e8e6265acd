#pragma once

#include "app/GrabWindow.h"
#include "capture/CaptureService.h"
#include "platform/WindowTypes.h"
#include "res/Version.h"
#include "settings/WindowSettings.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

class Capture;
class DialogRunner;
class FTPThread;
class HealthLine;
class InstantUpload;
class Menu;
class TopLevelWindow;
class TrayIcon;
class TrayShell;
class WindowSystem;

// The program's one top-level window: a small borderless, always-on-top tool window that
// holds the capture window's live preview. Everything is reached through its context menu
// (right click on the window or on the tray icon). It owns the window, the menu, the tray
// icon and, while running with FTP, the upload thread; it holds the capture object, which
// start-up creates and destroys, without owning it.
//
// It also keeps the grab schedule: Run starts a 500 ms timer that counts down from the grab
// interval, grabs a frame at zero and hands the JPEG file to the upload thread; the tray
// icon and the menu show whether it is idle, counting down or grabbing. An instant grab while
// idle uploads on a worker of its own and reports back with a window message.
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
    // Posts Run and then Hide as asked (so they come before any input), runs the event loop
    // and returns its exit code.
    int messageLoop(bool run, bool hide);
    // Stops running, saves the settings when "Save On Exit" is set, ends the upload thread
    // and an instant grab's upload, destroys the menu and removes the tray icon. Only the
    // first call acts.
    void shutdown();
    // Stop: also puts menu and tray into the idle state when already idle.
    void stopRunning();
    // The clock the grab schedule's days and times are read from; the system's by default.
    void setScheduleClock(GrabWindow::Clock clock) { grabWindow = GrabWindow(std::move(clock)); }

    // For the settings file. A zoom index outside 0 to 9 is stored as the default 3.
    int getZoomIndex() const override;
    void setZoomIndex(int index) override;
    // Where the window stands now (its normal rectangle), which is also stored.
    int getPositionX() override;
    int getPositionY() override;
    void setPositionX(int x) override;
    void setPositionY(int y) override;

private:
    // One axis of a drag: how far from the window's outer edge it was grabbed, where the
    // cursor was when it last snapped, and the screen edge it holds to, if any. It lives as
    // long as the window, so a snap survives from one drag to the next.
    struct DragAxis {
        int grabOffset = 0;
        int snapAnchor = 0;
        bool snappedToNear = false;
        bool snappedToFar = false;

        // Where the window's near edge goes on this axis, or nothing while it holds to an
        // edge. cursor is the cursor's screen coordinate, nearEdge and farEdge the window's
        // outer edges before this step, screenFar the desktop's far edge, clientExtent the
        // client area's size and grabbedOffset the offset of the point under the cursor now.
        std::optional<int> step(int cursor, int nearEdge, int farEdge, int screenFar,
                                int clientExtent, int grabbedOffset);
    };

    // The window procedure: the result of a message it handles, nothing for default
    // processing.
    std::optional<std::intptr_t> windowProc(std::uint32_t message, std::uintptr_t wParam,
                                            std::intptr_t lParam);
    // Handles a menu command; false for an id that is not one.
    bool onCommand(int id);
    Capture& requireCapture();
    // The "Select Device..." submenu; null when the menu lacks it.
    Menu* deviceMenu();
    // Lists the devices present now behind the submenu's heading, unchecked.
    void listDevices();
    void selectDevice(int position);
    void hide();
    void show();
    void showPopupMenu(Point screen);
    void saveSettings();
    void checkItem(int id, bool checked);
    void enableItem(int id, bool enabled);
    void setTrayIcon(int iconResource);
    void setTrayTip(const std::string& tip);
    void updateTray();

    // The grab schedule. startTimer (re)creates the 500 ms timer and counts down from fromMs,
    // which also becomes the interval; it returns whether the grabber runs. stopTimer
    // returns whether the grabber is stopped afterwards. restartTimer acts only while running.
    bool startTimer(std::uint32_t fromMs);
    bool stopTimer();
    void restartTimer(std::uint32_t fromMs);
    // update x 1000 ms, an update of 0 counting as 1 s.
    static std::uint32_t updateIntervalMs();
    // Run: -1 means the interval of the setting update. With FTP on, the upload thread is made
    // here with the FTP settings of this moment.
    void startRunning(std::int64_t fromMs);
    void onTimer();
    // Whether the schedule settings let a grab happen now; outside their window the tray's
    // tip says when grabbing starts again.
    bool inGrabWindow();
    // Grabs a frame and hands it to the upload thread; false when no frame was grabbed or the
    // upload thread had stopped (which stops the grabber and shows the error).
    bool grabNow();
    bool uploadGrabbed();
    // Instant Grab!: while running, grabs and restarts the full interval; while idle, grabs
    // and, when FTP is on, starts its upload on a worker. A grab while that upload is still
    // going asks for one more upload after it, of the newest file.
    void instantGrab();
    void startInstantUpload();
    // The instant grab's upload has ended: the next one when asked for, else idle and, after
    // a failure, the error box. A message from an upload that Run or Exit ended does nothing.
    void onInstantUploadEnded();
    void showIdle();

    // Zoom, placement and dragging.
    void setZoom(int index);
    void applyZoom(int index);
    void placeAt(int x, int y);
    void dragStep(std::intptr_t lParam);
    // Where a point of the client area lies from the window's outer corner (the border is
    // outside the client area): a drag keeps the grabbed point under the cursor.
    Point offsetInWindow(Point client) const;

    static constexpr int fullZoomIndex = 9;
    static constexpr int defaultZoomIndex = 3;
    static constexpr int createdWidth = 176;
    static constexpr int createdHeight = 144;
    static constexpr unsigned tickMs = 500;

    WindowSystem& windowSystem;
    DialogRunner& dialogs;

    std::string activeTip = "kavriWebCam v" KAVRI_VERSION " [active]";
    std::string inactiveTip = "kavriWebCam v" KAVRI_VERSION " [inactive]";
    bool shutdownDone = false;
    std::unique_ptr<TrayIcon> trayIcon;
    bool hidden = false;
    std::unique_ptr<Menu> menu;
    // While the context menu is shown (its event loop runs inside showPopupMenu).
    bool menuOpen = false;
    std::string title = "kavriWebCam";
    std::unique_ptr<TopLevelWindow> window;
    // Set once the constructor has made the window and this object ready for its messages;
    // until then they get default processing.
    bool linked = false;
    Capture* capture = nullptr;

    std::uintptr_t timerId = 303;
    // Compared for equality only, so arithmetic modulo 2^32 is fine.
    std::uint32_t countdownMs = 0;
    std::uint32_t intervalMs = 0;
    bool running = false;
    GrabWindow grabWindow;
    // What the tip says the grabber waits for; empty while it grabs.
    std::string waitingFor;
    // How uploads fare, told on standard error; shared by the upload thread and the instant
    // grab.
    std::shared_ptr<HealthLine> uploadHealth;
    std::unique_ptr<FTPThread> ftpThread;
    // The upload of an instant grab while idle, from its start until its end is handled.
    std::unique_ptr<InstantUpload> instantUpload;
    bool instantUploadAgain = false;

    std::array<float, 10> zoomFactors{0.25f, 0.375f, 0.5f, 0.75f, 1.0f,
                                      1.5f,  2.0f,   2.5f, 3.0f,  -1.0f};
    std::int32_t zoomIndex = defaultZoomIndex;
    std::int32_t positionX = 0;
    std::int32_t positionY = 0;

    // List position of the device item last checked.
    std::int32_t checkedDevice = 0;

    DragAxis dragX;
    DragAxis dragY;
};
