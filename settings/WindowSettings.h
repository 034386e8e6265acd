#pragma once

// The keys of the settings file that the main window holds: its zoom and where it stands
// (windowzoom, windowpositionX, windowpositionY). The settings file reaches them through
// this, so it knows nothing else of the window.
class WindowSettings {
public:
    // A zoom index outside 0 to 9 is stored as the default.
    virtual int getZoomIndex() const = 0;
    virtual void setZoomIndex(int index) = 0;
    // Where the window stands now (its normal rectangle), which is also stored.
    virtual int getPositionX() = 0;
    virtual int getPositionY() = 0;
    // Only store the position; the window moves there when its menus are set up.
    virtual void setPositionX(int x) = 0;
    virtual void setPositionY(int y) = 0;

protected:
    ~WindowSettings() = default;
};
