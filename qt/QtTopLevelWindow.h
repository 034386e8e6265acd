#pragma once

#include "platform/TopLevelWindow.h"

#include <qnamespace.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QFrame;
class QTimer;
class QWidget;

// A top-level window as a Qt widget: a frame (the outer rectangle, with a 1-pixel border
// when the style asks for one) holding a client-area widget. WS_POPUP makes it frameless,
// WS_EX_TOPMOST keeps it above other windows, WS_EX_TOOLWINDOW makes it a tool window
// without a task-bar entry. Mouse input over the client area reaches the procedure as
// mouse messages in client coordinates; input over the border has none. nativeHandle() is
// the client-area QWidget, so a child made in it sits at the client origin.
//
// On Wayland the compositor alone places windows and keeps none above the others: move and
// the stay-on-top style have no effect there, and a drag with the mouse captured is handed
// to the compositor's own move.
class QtTopLevelWindow : public TopLevelWindow {
public:
    QtTopLevelWindow(std::uint32_t style, std::uint32_t extStyle, const std::string& title,
                     Rect rect, WindowProcedure procedure);
    ~QtTopLevelWindow() override;
    QtTopLevelWindow(const QtTopLevelWindow&) = delete;
    QtTopLevelWindow& operator=(const QtTopLevelWindow&) = delete;

    void showInitially(int command) override;
    void hide() override;
    void show() override;
    void minimize() override;
    void move(int x, int y) override;
    void resize(int width, int height) override;
    void setGeometry(int x, int y, int width, int height) override;

    Rect windowRect() const override;
    Rect clientRect() const override;
    Rect normalRect() const override;
    Point clientToScreen(Point client) const override;

    void bringToForeground() override;
    void captureMouse() override;
    void releaseMouse() override;

    bool setTimer(std::uintptr_t id, unsigned periodMs) override;
    bool killTimer(std::uintptr_t id) override;

    void postMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void destroy() override;
    void* nativeHandle() const override;

    // The Qt window of a top-level window made by the Qt window system: the parent of the
    // dialogs and boxes it owns. Null for null.
    static QWidget* qtWindowOf(const TopLevelWindow* window);

private:
    void deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    void layoutClient();

    WindowProcedure procedure_;
    int borderPx_ = 0;
    bool destroyed_ = false;
    // The window's type before minimize made it a plain window with a task-bar entry.
    std::optional<Qt::WindowFlags> typeBeforeMinimize_;
    // The frame deletes the client area and the timers with it.
    std::unique_ptr<QFrame> frame_;
    QWidget* client_ = nullptr;
    std::map<std::uintptr_t, QTimer*> timers_;
};
