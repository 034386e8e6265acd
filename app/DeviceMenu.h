#pragma once

#include <cstdint>

class Capture;
class Menu;

// The context menu's items about the capture device: the "Select Device..." submenu, which
// lists the devices present behind its heading with a check on the one in use, and the
// driver's dialogs, greyed where the driver lacks them. Cameras come and go while the program
// runs, so the list is made again each time the menu opens. Every call takes the menu (null
// before it is loaded and after it is destroyed: then only the device is acted on) and the
// capture object.
class DeviceMenu {
public:
    // The "Select Device..." submenu; null when the menu lacks it.
    static Menu* find(Menu* menu);
    // Lists the devices, connects the stored one and greys the dialogs the driver lacks.
    void setUp(Menu* menu, Capture& capture);
    // Lists the devices present now and checks the one in use.
    void refresh(Menu* menu, Capture& capture);
    // Whether id is a command of these items that onCommand handles: a device of the
    // submenu, or the driver's Display or Source dialog.
    static bool handles(int id);
    // Carries the command out; false for an id it does not handle.
    bool onCommand(Menu* menu, Capture& capture, int id);

private:
    // Connects the device at position, or else another, and moves the check to the one that
    // connected.
    void select(Menu* menu, Capture& capture, int position);
    // Lists the devices present now behind the heading, unchecked.
    static void list(Menu* menu, Capture& capture);

    // List position of the device item last checked.
    std::int32_t checked_ = 0;
};
