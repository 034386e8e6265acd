#pragma once

#include "platform/WindowSystem.h"

#include <QPlainTextEdit>
#include <QPointer>

#include <map>
#include <string>

// The window system on Qt 6 Widgets. Needs a QApplication for its whole life. Windows are
// QtTopLevelWindow, menus QtMenu built from res/'s menu templates, the desktop is the
// primary screen.
class QtWindowSystem : public WindowSystem {
public:
    QtWindowSystem() = default;
    ~QtWindowSystem() override;
    QtWindowSystem(const QtWindowSystem&) = delete;
    QtWindowSystem& operator=(const QtWindowSystem&) = delete;

    std::unique_ptr<TopLevelWindow> createWindow(std::uint32_t style, std::uint32_t extStyle,
                                                 const std::string& title, Rect rect,
                                                 WindowProcedure procedure) override;
    std::unique_ptr<Menu> loadMenu(int menuId) override;
    Rect desktopRect() const override;
    std::vector<Rect> workAreas() const override;
    Point cursorPos() const override;
    // On the "offscreen" platform nobody could dismiss a box: the caption and text go to
    // standard error instead and the call returns at once.
    void messageBox(TopLevelWindow* owner, const std::string& text,
                    const std::string& caption) override;
    void showText(const std::string& title, const std::string& text, bool open) override;
    // An exception a window's procedure raised while Qt dispatched an event ends the loop
    // and is raised again from here.
    int runEventLoop() override;
    void quit(int exitCode) override;

private:
    // The text windows by title; each deletes itself when closed.
    std::map<std::string, QPointer<QPlainTextEdit>> textWindows_;
};
