#pragma once

#include <array>

class Capture;
class Menu;
class TopLevelWindow;
class WindowSystem;

// The window's zoom: the camera's image size times the factor of the zoom index (0 to 8,
// "25%" to "300%", the sizes truncated), or as large as the work area allows at the image's
// aspect for "Full" (index 9); never larger than the work area of the window's screen (see
// WorkAreas). Applied to the window, the capture window's preview and the zoom menu's check.
class WindowZoom {
public:
    static constexpr int fullIndex = 9;
    static constexpr int defaultIndex = 3;

    // windowSystem must outlive this object.
    explicit WindowZoom(const WindowSystem& windowSystem);

    int index() const { return index_; }
    // For the settings file: an index outside 0 to 9 is stored as the default 3.
    void store(int index);
    // Zooms to index; a null menu (not loaded yet) is left alone.
    void apply(int index, Menu* menu, TopLevelWindow& window, Capture& device);

private:
    static constexpr std::array<float, 10> factors{0.25f, 0.375f, 0.5f, 0.75f, 1.0f,
                                                   1.5f,  2.0f,   2.5f, 3.0f,  -1.0f};

    const WindowSystem& windowSystem_;
    int index_ = defaultIndex;
};
