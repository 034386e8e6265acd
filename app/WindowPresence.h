#pragma once

class Menu;
class TopLevelWindow;
class TrayIcon;

// Whether the main window is in sight. Hide hides it where the tray icon can bring it back;
// where the desktop has no notification area it minimises it to the task bar instead, so the
// window is never out of reach, and a window hidden when the notification area goes is
// minimised then. While hidden, the Hide item reads "Show" and shows the window again.
class WindowPresence {
public:
    bool hidden() const { return hidden_; }
    // Hide (true) or show the window (false).
    void set(bool hidden, TopLevelWindow& window, Menu* menu, TrayIcon& trayIcon);
    // The notification area appeared or went.
    void onTrayChanged(TopLevelWindow& window, Menu* menu, TrayIcon& trayIcon);
    // Another start of the program asked for this window: shown and brought to the front.
    void raise(TopLevelWindow& window, Menu* menu, TrayIcon& trayIcon);

private:
    bool hidden_ = false;
};
