#include "app/WindowZoom.h"

#include "app/WorkAreas.h"
#include "capture/Capture.h"
#include "platform/Menu.h"
#include "platform/TopLevelWindow.h"
#include "res/MenuTemplates.h"

WindowZoom::WindowZoom(const WindowSystem& windowSystem)
    : windowSystem_(windowSystem) {}

void WindowZoom::store(int index) {
    index_ = index >= 0 && index <= fullIndex ? index : defaultIndex;
}

void WindowZoom::apply(int index, Menu* menu, TopLevelWindow& window, Capture& device) {
    index_ = index;
    if (menu) {
        menu->checkRadioItem(menuCommand::zoomFirst, menuCommand::zoomLast,
                             menuCommand::zoomFirst + index);
    }
    const Rect placed =
        WorkAreas(windowSystem_)
            .zoomed(window.windowRect(), device.status().uiImageWidth,
                    device.status().uiImageHeight, factors[static_cast<std::size_t>(index)]);
    window.setGeometry(placed.left, placed.top, placed.width(), placed.height());
    device.resizeWindow(placed.width(), placed.height());
}
