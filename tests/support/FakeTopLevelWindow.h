#pragma once

#include "platform/TopLevelWindow.h"
#include "tests/support/CallLog.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>

// A top-level window without a screen: it keeps its rectangle, visibility, mouse capture,
// timers and posted messages, and logs every change. The test delivers messages to the
// window's procedure by hand: input, timer ticks and what was posted. Other threads may
// post; a test reads posted itself only while none does.
class FakeTopLevelWindow : public TopLevelWindow {
public:
    struct Message {
        std::uint32_t message;
        std::uintptr_t wParam;
        std::intptr_t lParam;

        bool operator==(const Message&) const = default;
    };

    FakeTopLevelWindow(std::uint32_t style, std::uint32_t extStyle, std::string title, Rect rect,
                       WindowProcedure procedure, CallLog& log);

    void showInitially(int command) override;
    void hide() override;
    void show() override;
    void move(int x, int y) override;
    void resize(int width, int height) override;
    void setGeometry(int x, int y, int width, int height) override;
    Rect windowRect() const override { return rect; }
    // A one-pixel border all round.
    Rect clientRect() const override { return {0, 0, rect.width() - 2, rect.height() - 2}; }
    Rect normalRect() const override { return rect; }
    Point clientToScreen(Point client) const override {
        return {rect.left + 1 + client.x, rect.top + 1 + client.y};
    }
    void bringToForeground() override;
    void captureMouse() override;
    void releaseMouse() override;
    bool setTimer(std::uintptr_t id, unsigned periodMs) override;
    bool killTimer(std::uintptr_t id) override;
    void postMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void destroy() override;
    void* nativeHandle() const override { return const_cast<FakeTopLevelWindow*>(this); }

    // Hands a message to the window's procedure, as the window system does.
    std::optional<std::intptr_t> deliver(std::uint32_t message, std::uintptr_t wParam = 0,
                                         std::intptr_t lParam = 0);
    // One tick of every timer the window has.
    void tick();
    // Delivers the oldest posted message; false when none is waiting.
    bool deliverPosted();
    bool hasPosted();

    const std::uint32_t style;
    const std::uint32_t extStyle;
    const std::string title;
    Rect rect;
    bool visible = false;
    int shownWith = -1;
    bool mouseCaptured = false;
    bool destroyed = false;
    // When false, setTimer fails.
    bool timersWork = true;
    std::set<std::uintptr_t> timers;
    std::deque<Message> posted;

private:
    std::mutex postedMutex;
    WindowProcedure procedure;
    CallLog& log;
};
