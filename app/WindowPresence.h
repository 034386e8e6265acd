#pragma once

#include <cstdint>
#include <functional>

class Menu;
class TopLevelWindow;
class TrayIcon;

// Whether the main window is in sight. Hide hides it where the tray icon can bring it back;
// where the desktop has no notification area it minimises it to the task bar instead, so the
// window is never out of reach, and a window hidden when the notification area goes is
// minimised then. While hidden, the Hide item reads "Show" and shows the window again.
class WindowPresence {
public:
    // Posted to the window by the function raiser makes; its handler calls raise.
    static constexpr std::uint32_t raiseMessage = 2003;

    // What another start of the program calls, from any thread, to have window raised.
    static std::function<void()> raiser(TopLevelWindow& window);

    bool hidden() const { return hidden_; }
    // Hide (true) or show the window (false).
    void set(bool hidden, TopLevelWindow& window, Menu* menu, TrayIcon& trayIcon);
    // A message of the tray icon: a left click hides or shows the window; trayChangedNotice
    // tells that the notification area appeared or went.
    void onTrayMessage(std::intptr_t message, TopLevelWindow& window, Menu* menu,
                       TrayIcon& trayIcon);
    // Another start of the program asked for this window: shown and brought to the front.
    void raise(TopLevelWindow& window, Menu* menu, TrayIcon& trayIcon);

private:
    bool hidden_ = false;
};
