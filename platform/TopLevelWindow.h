#pragma once

#include "platform/WindowTypes.h"

#include <cstdint>

// A top-level window of the window system, made by WindowSystem::createWindow. Its messages
// go to the WindowProcedure given there, always on the user interface thread:
// - mouse input over the window (and over the capture window inside it, which passes its
//   mouse messages on) as WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
//   WM_RBUTTONDOWN (WindowTypes.h gives wParam and lParam); a double click arrives as
//   WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP;
// - WM_TIMER for each tick of a timer made by setTimer, wParam = the timer's id;
// - whatever postMessage posted (commands as WM_COMMAND, the tray's callback message);
// - WM_DESTROY from destroy().
// A message the procedure leaves unhandled gets the window system's default handling (for
// the messages above that is: nothing).
//
// All coordinates are screen pixels. The window rectangle is the outer one, border
// included; sizes given to resize and setGeometry are outer sizes too.
class TopLevelWindow {
public:
    virtual ~TopLevelWindow() = default;

    // Shows the window for the first time with the program's start-up show command
    // (showCommand::SW_SHOWNORMAL and the others in WindowTypes.h; SW_HIDE leaves it
    // hidden) and paints it at once.
    virtual void showInitially(int command) = 0;
    // Hides the window, keeping its place and size. No message results.
    virtual void hide() = 0;
    // Shows the window again where it was, at the size it had, without taking the focus; a
    // minimised window is restored.
    virtual void show() = 0;
    // Minimises the window to the task bar, where the user can restore it; a tool window
    // gets a task-bar entry for as long as it is minimised.
    virtual void minimize() = 0;
    // Moves the top-left corner of the window to (x, y), keeping the size, the stacking
    // order and the focus.
    virtual void move(int x, int y) = 0;
    // Gives the window an outer size of width x height, keeping its top-left corner.
    virtual void resize(int width, int height) = 0;
    // Moves and sizes in one step (the "Full" zoom).
    virtual void setGeometry(int x, int y, int width, int height) = 0;

    // The outer rectangle, in screen coordinates.
    virtual Rect windowRect() const = 0;
    // The inside, without the border: left and top 0, right and bottom the client width and
    // height.
    virtual Rect clientRect() const = 0;
    // The rectangle the window has when it is neither minimised nor maximised (for this
    // program's window, which is neither, the window rectangle), in screen coordinates.
    virtual Rect normalRect() const = 0;
    // A client point in screen coordinates.
    virtual Point clientToScreen(Point client) const = 0;

    // Brings the window to the front and gives it the focus, before a popup menu opens.
    virtual void bringToForeground() = 0;

    // Grabs the mouse: until releaseMouse, every mouse message goes to this window's
    // procedure, also while the cursor is outside it.
    virtual void captureMouse() = 0;
    virtual void releaseMouse() = 0;

    // Creates (or, for an id already in use, replaces) a timer that delivers WM_TIMER with
    // wParam = id about every periodMs, also while a modal dialog, a message box or a popup
    // menu runs its own loop. A tick due while the thread is busy is dropped, not stored up:
    // after a long busy spell at most one tick arrives. False when no timer could be made.
    virtual bool setTimer(std::uintptr_t id, unsigned periodMs) = 0;
    // Destroys the timer; no tick of it arrives afterwards, even one already due. False when
    // there was no such timer.
    virtual bool killTimer(std::uintptr_t id) = 0;

    // Queues a message for the window's procedure and returns at once. Posted messages
    // arrive in the order they were posted, and before input that comes after them. The one
    // call that any thread may make, so that a worker can hand news to the user interface
    // thread; the worker's owner makes sure none posts once the window object is deleted.
    virtual void postMessage(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;

    // Destroys the window: the procedure gets WM_DESTROY before this returns, and no message
    // afterwards; the object then stays as an empty shell until it is deleted. A second call
    // does nothing.
    virtual void destroy() = 0;

    // The window system's own handle of the window, for child windows made in it (the
    // capture window's preview); null when there is none.
    virtual void* nativeHandle() const = 0;
};
