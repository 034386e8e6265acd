#pragma once

#include <array>

class Capture;
class TopLevelWindow;
class WindowSystem;

// The window's zoom: the camera's image size times the factor of the zoom index (0 to 8,
// "25%" to "300%", the sizes truncated), or the whole desktop for "Full" (index 9), applied to
// the window and the capture window's preview.
class WindowZoom {
public:
    static constexpr int fullIndex = 9;
    static constexpr int defaultIndex = 3;

    static void apply(int index, TopLevelWindow& window, Capture& device,
                      const WindowSystem& windowSystem);

private:
    static constexpr std::array<float, 10> factors{0.25f, 0.375f, 0.5f, 0.75f, 1.0f,
                                                   1.5f,  2.0f,   2.5f, 3.0f,  -1.0f};
};
