#pragma once

// Stands in for the main window in the settings-file tests: the zoom index and the stored
// position as plain fields, and a "placement" that the position getters read, the way the
// real window reads where it stands now.
class MainWindow {
public:
    int getZoomIndex() const { return zoomIndex; }
    void setZoomIndex(int index) { zoomIndex = index; }
    int getPositionX() {
        positionX = placementX;
        return positionX;
    }
    int getPositionY() {
        positionY = placementY;
        return positionY;
    }
    void setPositionX(int x) { positionX = x; }
    void setPositionY(int y) { positionY = y; }

    int zoomIndex = 3;
    int positionX = 0;
    int positionY = 0;
    int placementX = 0;
    int placementY = 0;
};
