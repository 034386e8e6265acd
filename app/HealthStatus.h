#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class GrabSchedule;
class LiveView;
class TopLevelWindow;
class TrayIcon;
class WindowSystem;

// How the camera, the JPEG file and the upload are doing, where the user looks: lines below
// the tray icon's tool-tip, a desktop notification at each change, the Status window (the
// state now and the changes of this run with their times, newest first) and the reason a
// box adds. It reads the program's health journal. Used on the user interface thread only.
class HealthStatus {
public:
    static constexpr const char* windowTitle = "kavriWebCam Status";
    // Posted to the window at each change of the journal; its handler calls onChanged.
    static constexpr std::uint32_t changedMessage = 2004;

    // liveView, which must outlive it, adds its line while it is on.
    HealthStatus(WindowSystem& windowSystem, const LiveView& liveView);

    // From now on the tray icon's tool-tip carries tipDetails, and each change of the journal,
    // from whatever thread, posts changedMessage to window. All three must outlive the watch.
    void watch(TopLevelWindow& window, TrayIcon& trayIcon, const GrabSchedule& schedule);
    // Changes of the journal are posted no more.
    static void stopWatching();
    // One line per part (the live view's while it is on); while running, also the countdown
    // to the next grab.
    std::string tipDetails(const GrabSchedule& schedule) const;
    // The journal has new entries: one notification for each, the tool-tip is brought up to
    // date, and the Status window, if open, shows them.
    void onChanged(TrayIcon& trayIcon, const GrabSchedule& schedule);
    // Status...: opens the Status window or brings it forward.
    void showWindow(const GrabSchedule& schedule);

    // text, and while the upload fails the reason on a line of its own.
    static std::string withUploadReason(const std::string& text);

private:
    std::string windowText(const GrabSchedule& schedule) const;

    WindowSystem& windowSystem_;
    const LiveView& liveView_;
    // The journal's entries that have been notified.
    std::size_t notified_;
};
