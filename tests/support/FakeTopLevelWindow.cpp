#include "tests/support/FakeTopLevelWindow.h"

#include <utility>

namespace {

std::string numbers(std::initializer_list<long long> values) {
    std::string text;
    for (long long value : values) {
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}

} // namespace

FakeTopLevelWindow::FakeTopLevelWindow(std::uint32_t style, std::uint32_t extStyle,
                                       std::string title, Rect rect, WindowProcedure procedure,
                                       CallLog& log)
    : style(style)
    , extStyle(extStyle)
    , title(std::move(title))
    , rect(rect)
    , procedure(std::move(procedure))
    , log(log) {}

void FakeTopLevelWindow::showInitially(int command) {
    shownWith = command;
    visible = command != 0;
    log.add("window showInitially " + std::to_string(command));
}

void FakeTopLevelWindow::hide() {
    visible = false;
    log.add("window hide");
}

void FakeTopLevelWindow::show() {
    visible = true;
    log.add("window show");
}

void FakeTopLevelWindow::move(int x, int y) {
    rect = {x, y, x + rect.width(), y + rect.height()};
    log.add("window move " + numbers({x, y}));
}

void FakeTopLevelWindow::resize(int width, int height) {
    rect = {rect.left, rect.top, rect.left + width, rect.top + height};
    log.add("window resize " + numbers({width, height}));
}

void FakeTopLevelWindow::setGeometry(int x, int y, int width, int height) {
    rect = {x, y, x + width, y + height};
    log.add("window geometry " + numbers({x, y, width, height}));
}

void FakeTopLevelWindow::bringToForeground() {
    log.add("window foreground");
}

void FakeTopLevelWindow::captureMouse() {
    mouseCaptured = true;
    log.add("window capture mouse");
}

void FakeTopLevelWindow::releaseMouse() {
    mouseCaptured = false;
    log.add("window release mouse");
}

bool FakeTopLevelWindow::setTimer(std::uintptr_t id, unsigned periodMs) {
    log.add("timer set " + numbers({static_cast<long long>(id), periodMs}));
    if (!timersWork) {
        return false;
    }
    timers.insert(id);
    return true;
}

bool FakeTopLevelWindow::killTimer(std::uintptr_t id) {
    log.add("timer kill " + std::to_string(id));
    return timers.erase(id) == 1;
}

void FakeTopLevelWindow::postMessage(std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    std::lock_guard lock(postedMutex);
    posted.push_back({message, wParam, lParam});
}

void FakeTopLevelWindow::destroy() {
    if (destroyed) {
        return;
    }
    log.add("window destroy");
    deliver(windowMessage::WM_DESTROY);
    destroyed = true;
    timers.clear();
}

std::optional<std::intptr_t>
FakeTopLevelWindow::deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (destroyed) {
        return std::nullopt;
    }
    return procedure(message, wParam, lParam);
}

void FakeTopLevelWindow::tick() {
    // A copy: a tick may kill or make timers.
    const std::set<std::uintptr_t> ticking = timers;
    for (std::uintptr_t id : ticking) {
        if (timers.contains(id)) {
            deliver(windowMessage::WM_TIMER, id, 0);
        }
    }
}

bool FakeTopLevelWindow::deliverPosted() {
    Message next{};
    {
        std::lock_guard lock(postedMutex);
        if (posted.empty()) {
            return false;
        }
        next = posted.front();
        posted.pop_front();
    }
    deliver(next.message, next.wParam, next.lParam);
    return true;
}

bool FakeTopLevelWindow::hasPosted() {
    std::lock_guard lock(postedMutex);
    return !posted.empty();
}
