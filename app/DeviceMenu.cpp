#include "app/DeviceMenu.h"

#include "capture/Capture.h"
#include "platform/Menu.h"
#include "res/MenuTemplates.h"

namespace {

// Position of the "Select Device..." submenu in the context menu, separators counted.
constexpr int deviceSubMenuPosition = 9;

void check(Menu* menu, int position, bool checked) {
    if (menu) {
        menu->checkItem(menuCommand::firstDevice + position, checked);
    }
}

} // namespace

Menu* DeviceMenu::find(Menu* menu) {
    Menu* popup = menu ? menu->subMenu(0) : nullptr;
    return popup ? popup->subMenu(deviceSubMenuPosition) : nullptr;
}

void DeviceMenu::setUp(Menu* menu, Capture& capture) {
    list(menu, capture);
    select(menu, capture, capture.getDeviceIndex());
    const DriverCaps& caps = capture.driverCaps();
    if (menu) {
        menu->enableItem(menuCommand::videoDisplay, caps.fHasDlgVideoDisplay);
        menu->enableItem(menuCommand::videoFormat, caps.fHasDlgVideoFormat);
        menu->enableItem(menuCommand::videoSource, caps.fHasDlgVideoSource);
    }
}

void DeviceMenu::refresh(Menu* menu, Capture& capture) {
    list(menu, capture);
    checked_ = capture.getDeviceIndex();
    check(menu, checked_, true);
}

bool DeviceMenu::handles(int id) {
    return id == menuCommand::videoDisplay || id == menuCommand::videoSource ||
           (id >= menuCommand::firstDevice && id <= menuCommand::lastDevice);
}

bool DeviceMenu::onCommand(Menu* menu, Capture& capture, int id) {
    if (id == menuCommand::videoDisplay) {
        capture.showDisplayDialog();
    } else if (id == menuCommand::videoSource) {
        capture.showSourceDialog();
    } else if (handles(id)) {
        select(menu, capture, id - menuCommand::firstDevice);
    } else {
        return false;
    }
    return true;
}

void DeviceMenu::select(Menu* menu, Capture& capture, int position) {
    capture.connect(position);
    // Another device may have connected when the chosen one did not.
    const std::int32_t connected = capture.getDeviceIndex();
    if (checked_ != connected) {
        check(menu, checked_, false);
    }
    check(menu, connected, true);
    checked_ = connected;
}

void DeviceMenu::list(Menu* menu, Capture& capture) {
    const auto& names = capture.enumerateDevices();
    if (Menu* devices = find(menu)) {
        for (int id = menuCommand::firstDevice; devices->removeItem(id); ++id) {
        }
        for (std::size_t position = 0; position < names.size(); ++position) {
            devices->appendItem(menuCommand::firstDevice + static_cast<int>(position),
                                names[position]);
        }
    }
}
