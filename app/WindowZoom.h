#pragma once

#include <array>

class Capture;
class Menu;
class TopLevelWindow;
class WindowSystem;

// The main window's zoom: nine shares of the camera picture's size, and the whole screen.
class WindowZoom {
public:
    static constexpr int full = 9;
    static constexpr int usual = 3;

    int index() const { return index_; }
    // For the settings file: an index outside 0 to 9 is stored as the usual 3.
    void store(int index) { index_ = index >= 0 && index <= full ? index : usual; }
    // Takes the index, checks its item in the menu (when there is one) and sizes the window
    // and the capture window to it.
    void set(int index, Menu* menu, WindowSystem& windowSystem, TopLevelWindow& window,
             Capture& capture);

private:
    static constexpr std::array<float, 10> factors{0.25f, 0.375f, 0.5f, 0.75f, 1.0f,
                                                   1.5f,  2.0f,   2.5f, 3.0f,  -1.0f};
    int index_ = usual;
};
