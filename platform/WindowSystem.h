#pragma once

#include "platform/WindowTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Menu;
class TopLevelWindow;

// The window system as the program's main window uses it: windows, menus from the
// program's menu templates, the desktop, the cursor, a plain message box and the event
// loop of the user interface thread. Everything here is called on that thread.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Creates a top-level window with the style bits of WindowTypes.h (style and
    // extStyle; the main window asks for WS_POPUP | WS_VISIBLE | WS_BORDER and
    // WS_EX_TOPMOST | WS_EX_TOOLWINDOW: no title bar, a thin border, above other windows,
    // no task-bar entry), the title, and its outer rectangle. It is not shown until
    // TopLevelWindow::showInitially. Its messages go to procedure. Null when it cannot be
    // created.
    virtual std::unique_ptr<TopLevelWindow> createWindow(std::uint32_t style,
                                                         std::uint32_t extStyle,
                                                         const std::string& title, Rect rect,
                                                         WindowProcedure procedure) = 0;

    // The menu of the program's menu template menuId (menu 109 is the main window's);
    // null when there is no such template.
    virtual std::unique_ptr<Menu> loadMenu(int menuId) = 0;

    // The rectangle of the whole desktop (the primary screen), in screen coordinates;
    // left and top are 0.
    virtual Rect desktopRect() const = 0;
    // The work areas of the screens (each screen less its panels and docks), in screen
    // coordinates, the primary screen's first; never empty.
    virtual std::vector<Rect> workAreas() const = 0;
    // Where the mouse cursor is now, in screen coordinates.
    virtual Point cursorPos() const = 0;

    // A modal box with the text, the caption and one OK button, owned by owner (may be
    // null); returns when it is dismissed. Timer ticks go on meanwhile.
    virtual void messageBox(TopLevelWindow* owner, const std::string& text,
                            const std::string& caption) = 0;

    // A window of its own, titled title, that shows text read-only and lets it be selected
    // and copied. With open, it is made or brought to the front; without, only a window of
    // that title already open takes the new text.
    virtual void showText(const std::string& title, const std::string& text, bool open) = 0;

    // Runs the event loop of the user interface thread until quit; returns its exit code.
    virtual int runEventLoop() = 0;
    // Ends the running event loop once the messages already posted have been handled; the
    // loop then returns exitCode.
    virtual void quit(int exitCode) = 0;
};
