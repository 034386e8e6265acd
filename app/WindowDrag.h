#pragma once

#include "app/WorkAreas.h"
#include "platform/WindowTypes.h"

#include <cstdint>
#include <optional>

class TopLevelWindow;
class WindowSystem;

// Moving the main window: dragging it with the left button, which keeps the grabbed point
// under the cursor and snaps the window to an edge of its screen's work area (the screen
// less its panels) it comes within 20 pixels of, so that it lies exactly on that edge, and
// placing it at a stored position. A snap holds until the cursor has gone more than 20
// pixels from where it snapped; it outlives the drag, so the next press counts the pull from
// there. The window is passed in, since it is made after this object.
class WindowDrag {
public:
    // placedWidth and placedHeight: how far in from the work area's far edges a stored
    // position off the screens is put.
    WindowDrag(WindowSystem& windowSystem, int placedWidth, int placedHeight);

    // A mouse message over the client point, with the buttons and keys held: a press of the
    // left button captures the mouse and starts a drag, a move with the left button alone
    // held drags (not with Shift, Ctrl or another button held as well), the release ends it.
    void onMouse(TopLevelWindow& window, std::uint32_t message, std::uintptr_t keys, Point client);
    // A position stored on a larger screen would leave the window off this one: it is pulled
    // onto it. Moves the window and returns where it went.
    Point place(TopLevelWindow& window, Point stored);
    // The client position of a mouse message: two unsigned 16-bit values, x low, y high.
    static Point mousePosition(std::intptr_t lParam) {
        const auto bits = static_cast<std::uintptr_t>(lParam);
        return {static_cast<std::int32_t>(bits & 0xFFFF),
                static_cast<std::int32_t>((bits >> 16) & 0xFFFF)};
    }

private:
    void press(TopLevelWindow& window, Point client);
    void follow(TopLevelWindow& window, Point client);

    // One axis of a drag: how far from the window's outer edge it was grabbed, where the
    // cursor was when it last snapped, and the screen edge it holds to, if any.
    struct Axis {
        int grabOffset = 0;
        int snapAnchor = 0;
        bool snappedToNear = false;
        bool snappedToFar = false;

        // Where the window's near edge goes on this axis, or nothing while it holds to an
        // edge. cursor is the cursor's screen coordinate, nearEdge and farEdge the window's
        // outer edges before this step, areaNear and areaFar the work area's edges and
        // grabbedOffset the offset of the point under the cursor now.
        std::optional<int> step(int cursor, int nearEdge, int farEdge, int areaNear, int areaFar,
                                int grabbedOffset);
    };

    // Where a point of the client area lies from the window's outer corner (the border is
    // outside the client area).
    static Point offsetInWindow(const TopLevelWindow& window, Point client);

    static constexpr int snapBand = 20;

    WindowSystem& windowSystem_;
    WorkAreas areas_;
    int placedWidth_;
    int placedHeight_;
    Axis x_;
    Axis y_;
};
