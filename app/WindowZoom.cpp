#include "app/WindowZoom.h"

#include "capture/Capture.h"
#include "platform/Menu.h"
#include "platform/TopLevelWindow.h"
#include "platform/WindowSystem.h"
#include "res/MenuTemplates.h"

#include <cstddef>

void WindowZoom::set(int index, Menu* menu, WindowSystem& windowSystem, TopLevelWindow& window,
                     Capture& capture) {
    index_ = index;
    if (menu) {
        menu->checkRadioItem(menuCommand::zoomFirst, menuCommand::zoomLast,
                             menuCommand::zoomFirst + index);
    }
    int width = 0;
    int height = 0;
    if (index == full) {
        const Rect desktop = windowSystem.desktopRect();
        width = desktop.right;
        height = desktop.bottom;
        window.setGeometry(0, 0, width, height);
    } else {
        const float factor = factors[static_cast<std::size_t>(index)];
        width = static_cast<int>(static_cast<float>(capture.status().uiImageWidth) * factor);
        height = static_cast<int>(static_cast<float>(capture.status().uiImageHeight) * factor);
        window.resize(width, height);
    }
    capture.resizeWindow(width, height);
}
