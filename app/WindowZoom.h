#pragma once

#include <array>

class Capture;
class TopLevelWindow;
class WindowSystem;

// The window's zoom: the camera's image size times the factor of the zoom index (0 to 8,
// "25%" to "300%", the sizes truncated), or as large as the work area allows at the image's
// aspect for "Full" (index 9); never larger than the work area of the window's screen (see
// WorkAreas). Applied to the window and the capture window's preview.
class WindowZoom {
public:
    static void apply(int index, TopLevelWindow& window, Capture& device,
                      const WindowSystem& windowSystem);

private:
    static constexpr std::array<float, 10> factors{0.25f, 0.375f, 0.5f, 0.75f, 1.0f,
                                                   1.5f,  2.0f,   2.5f, 3.0f,  -1.0f};
};
