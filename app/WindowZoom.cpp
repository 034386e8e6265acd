#include "app/WindowZoom.h"

#include "app/WorkAreas.h"
#include "capture/Capture.h"
#include "platform/TopLevelWindow.h"
#include "platform/WindowSystem.h"

void WindowZoom::apply(int index, TopLevelWindow& window, Capture& device,
                       const WindowSystem& windowSystem) {
    const Rect placed =
        WorkAreas(windowSystem)
            .zoomed(window.windowRect(), device.status().uiImageWidth,
                    device.status().uiImageHeight, factors[static_cast<std::size_t>(index)]);
    window.setGeometry(placed.left, placed.top, placed.width(), placed.height());
    device.resizeWindow(placed.width(), placed.height());
}
