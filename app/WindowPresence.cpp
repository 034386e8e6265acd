#include "app/WindowPresence.h"

#include "app/TrayIcon.h"
#include "platform/Menu.h"
#include "platform/TopLevelWindow.h"
#include "res/MenuTemplates.h"

void WindowPresence::set(bool hidden, TopLevelWindow& window, Menu* menu, TrayIcon& trayIcon) {
    hidden_ = hidden && trayIcon.areaAvailable();
    if (hidden && !hidden_) {
        window.minimize();
    } else if (hidden_) {
        window.hide();
    } else {
        window.show();
    }
    if (menu) {
        menu->setItemText(menuCommand::hide, hidden_ ? "Show" : "Hide");
    }
}

void WindowPresence::onTrayChanged(TopLevelWindow& window, Menu* menu, TrayIcon& trayIcon) {
    if (hidden_ && !trayIcon.areaAvailable()) {
        window.show();
        set(true, window, menu, trayIcon);
    }
}

void WindowPresence::raise(TopLevelWindow& window, Menu* menu, TrayIcon& trayIcon) {
    set(false, window, menu, trayIcon);
    window.bringToForeground();
}
