#pragma once

#include "platform/WindowSystem.h"
#include "tests/support/CallLog.h"
#include "tests/support/FakeMenu.h"
#include "tests/support/FakeTopLevelWindow.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// A window system without a screen: windows are FakeTopLevelWindow, menus FakeMenu built
// from a menu template the test gives, the desktop and the cursor are what the test sets.
// Its event loop delivers the posted messages of the last window made until quit.
class FakeWindowSystem : public WindowSystem {
public:
    struct Box {
        TopLevelWindow* owner;
        std::string text;
        std::string caption;
    };

    std::unique_ptr<TopLevelWindow> createWindow(std::uint32_t style, std::uint32_t extStyle,
                                                 const std::string& title, Rect rect,
                                                 WindowProcedure procedure) override;
    std::unique_ptr<Menu> loadMenu(int menuId) override;
    Rect desktopRect() const override { return desktop; }
    Point cursorPos() const override { return cursor; }
    void messageBox(TopLevelWindow* owner, const std::string& text,
                    const std::string& caption) override;
    // Delivers posted messages in order until quit. When none is left, idle runs if set
    // (it may post or quit); without it, or when it did neither, the loop returns -1.
    int runEventLoop() override;
    void quit(int exitCode) override;

    CallLog log;
    // loadMenu(menuId) builds from this template; any other id, or none set, gives null.
    const MenuTemplate* menuTemplate = nullptr;
    int menuTemplateId = 109;
    bool createWorks = true;
    Rect desktop{0, 0, 1024, 768};
    Point cursor;
    std::function<void()> idle;
    // Runs when runEventLoop starts, before it delivers anything.
    std::function<void()> runHook;

    // The last window made and the last menu loaded; they belong to whoever asked for them.
    FakeTopLevelWindow* window = nullptr;
    FakeMenu* menu = nullptr;
    std::vector<Box> boxes;
    std::optional<int> quitCode;
};
