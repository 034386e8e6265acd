#pragma once

#include <cstdint>
#include <string>

class TopLevelWindow;

// The notification area ("tray") of the desktop shell, with the one record it takes.

// The callback message's lParam when the notification area appeared or went.
inline constexpr std::intptr_t trayChangedNotice = 0x0400;

// What a notify call asks of the shell.
namespace trayAction {
inline constexpr std::int32_t NIM_ADD = 0;
inline constexpr std::int32_t NIM_MODIFY = 1;
inline constexpr std::int32_t NIM_DELETE = 2;
} // namespace trayAction

// Which fields of the record a call carries.
namespace trayFlag {
inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;
// The lines the tool-tip shows below the tip.
inline constexpr std::uint32_t NIF_DETAILS = 0x100;
} // namespace trayFlag

// The record of one icon.
struct TrayIconData {
    // The longest tool-tip, without its terminating zero.
    static constexpr std::size_t tipBytes = 63;

    // The window the callback messages go to.
    TopLevelWindow* window = nullptr;
    // The program's own number for its icon; it has one, number 0.
    std::uint32_t id = 0;
    // NIF_ bits: which of the fields below this call carries.
    std::uint32_t flags = 0;
    // The message posted to window for clicks on the icon.
    std::uint32_t callbackMessage = 0;
    // The icon resource number of the picture (108, 140, 141, 142); 0 is none.
    int icon = 0;
    // At most tipBytes bytes.
    std::string tip;
    // Any length, lines separated by '\n'.
    std::string details;
};

class TrayShell {
public:
    virtual ~TrayShell() = default;

    // One request to the shell:
    // - NIM_ADD puts an icon into the notification area with the fields the flags name;
    // - NIM_MODIFY changes the fields the flags name of the icon already there;
    // - NIM_DELETE takes the icon out.
    // While the icon is there, a right button press on it posts to data.window the message
    // callbackMessage with wParam = the icon's id and lParam = WM_RBUTTONDOWN (516), and a
    // left button release posts it with lParam = WM_LBUTTONUP (514); other mouse events on
    // it post nothing. Returns whether the shell did it; where there is no notification
    // area the call does nothing and returns false, and the program goes on without icon.
    virtual bool notify(std::int32_t action, const TrayIconData& data) = 0;

    // Whether the desktop has a notification area now. Where none is, the shell adds the
    // icon once one appears; when one appears or goes, it posts the callback message with
    // lParam = trayChangedNotice to the icon's window.
    virtual bool available() const = 0;
    // A desktop notification with the title and text, where the desktop shows them.
    virtual void showMessage(const std::string& title, const std::string& text) = 0;
};
