#include "app/WindowDrag.h"

#include "platform/TopLevelWindow.h"
#include "platform/WindowSystem.h"

WindowDrag::WindowDrag(WindowSystem& windowSystem, int placedWidth, int placedHeight)
    : windowSystem_(windowSystem)
    , areas_(windowSystem)
    , placedWidth_(placedWidth)
    , placedHeight_(placedHeight) {}

void WindowDrag::onMouse(TopLevelWindow& window, std::uint32_t message, std::uintptr_t keys,
                         Point client) {
    using namespace windowMessage;
    if (message == WM_LBUTTONDOWN) {
        press(window, client);
    } else if (message == WM_MOUSEMOVE && keys == mouseKey::MK_LBUTTON) {
        follow(window, client);
    } else if (message == WM_LBUTTONUP) {
        window.releaseMouse();
    }
}

void WindowDrag::press(TopLevelWindow& window, Point client) {
    window.captureMouse();
    const Point grabbed = offsetInWindow(window, client);
    const Point cursor = windowSystem_.cursorPos();
    x_.grabOffset = grabbed.x;
    y_.grabOffset = grabbed.y;
    x_.snapAnchor = cursor.x;
    y_.snapAnchor = cursor.y;
}

void WindowDrag::follow(TopLevelWindow& window, Point client) {
    const Point cursor = windowSystem_.cursorPos();
    const Rect bounds = window.windowRect();
    const Rect area = areas_.around(bounds);
    const Point grabbed = offsetInWindow(window, client);
    const std::optional<int> left =
        x_.step(cursor.x, bounds.left, bounds.right, area.left, area.right, grabbed.x);
    const std::optional<int> top =
        y_.step(cursor.y, bounds.top, bounds.bottom, area.top, area.bottom, grabbed.y);
    if (left || top) {
        window.move(left.value_or(bounds.left), top.value_or(bounds.top));
    }
}

Point WindowDrag::place(TopLevelWindow& window, Point stored) {
    const Rect area =
        areas_.around(Rect{stored.x, stored.y, stored.x + placedWidth_, stored.y + placedHeight_});
    Point placed = stored;
    if (placed.x > area.right - 10) {
        placed.x = area.right - placedWidth_;
    }
    if (placed.y > area.bottom - 10) {
        placed.y = area.bottom - placedHeight_;
    }
    window.move(placed.x, placed.y);
    return placed;
}

Point WindowDrag::offsetInWindow(const TopLevelWindow& window, Point client) {
    const Point screen = window.clientToScreen(client);
    const Rect bounds = window.windowRect();
    return Point{screen.x - bounds.left, screen.y - bounds.top};
}

std::optional<int> WindowDrag::Axis::step(int cursor, int nearEdge, int farEdge, int areaNear,
                                          int areaFar, int grabbedOffset) {
    // The window's place before this step decides on snapping, so it first follows the
    // cursor into the band and snaps on the next move.
    const auto snap = [&](bool& snapped, int to) {
        snapped = true;
        grabOffset = grabbedOffset;
        snapAnchor = cursor;
        return to;
    };
    const auto holdOrLeave = [&](bool& snapped, int pulledBy) -> std::optional<int> {
        if (pulledBy <= snapBand) {
            return std::nullopt;
        }
        snapped = false;
        return cursor - grabOffset;
    };
    if (snappedToNear) {
        return holdOrLeave(snappedToNear, cursor - snapAnchor);
    }
    if (nearEdge - areaNear < snapBand) {
        return snap(snappedToNear, areaNear);
    }
    if (snappedToFar) {
        return holdOrLeave(snappedToFar, snapAnchor - cursor);
    }
    if (areaFar - farEdge < snapBand) {
        return snap(snappedToFar, areaFar - (farEdge - nearEdge));
    }
    return cursor - grabOffset;
}
