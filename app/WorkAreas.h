#pragma once

#include "platform/WindowTypes.h"

class WindowSystem;

// The screens' work areas (each screen less its panels) as the main window fits into them:
// the one a window is on, the size a zoomed picture may have there and where the window
// stays inside it. The areas are asked for anew at every call, so screens may come and go.
class WorkAreas {
public:
    // windowSystem must outlive this object.
    explicit WorkAreas(const WindowSystem& windowSystem);

    // The work area of the screen that holds the largest part of rect; the primary screen's
    // when rect is on none.
    Rect around(Rect rect) const;
    // Where window goes for a picture of imageWidth x imageHeight at factor (below 0: "Full").
    // A zoomed size that fits the work area of the screen window is on keeps the window's
    // corner; a larger one is made smaller, keeping its aspect, until it fits, and the window
    // moves only as far as it must to lie inside that area. "Full" is as large as the area
    // allows at the picture's aspect, in its middle.
    Rect zoomed(Rect window, int imageWidth, int imageHeight, float factor) const;

private:
    const WindowSystem& windowSystem_;
};
