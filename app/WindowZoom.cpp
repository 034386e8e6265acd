#include "app/WindowZoom.h"

#include "capture/Capture.h"
#include "platform/TopLevelWindow.h"
#include "platform/WindowSystem.h"

void WindowZoom::apply(int index, TopLevelWindow& window, Capture& device,
                       const WindowSystem& windowSystem) {
    int width = 0;
    int height = 0;
    if (index == fullIndex) {
        const Rect desktop = windowSystem.desktopRect();
        width = desktop.right;
        height = desktop.bottom;
        window.setGeometry(0, 0, width, height);
    } else {
        const float factor = factors[static_cast<std::size_t>(index)];
        width = static_cast<int>(static_cast<float>(device.status().uiImageWidth) * factor);
        height = static_cast<int>(static_cast<float>(device.status().uiImageHeight) * factor);
        window.resize(width, height);
    }
    device.resizeWindow(width, height);
}
