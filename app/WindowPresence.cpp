#include "app/WindowPresence.h"

#include "app/TrayIcon.h"
#include "platform/Menu.h"
#include "platform/TopLevelWindow.h"
#include "platform/TrayShell.h"
#include "platform/WindowTypes.h"
#include "res/MenuTemplates.h"

std::function<void()> WindowPresence::raiser(TopLevelWindow& window) {
    return [&window] { window.postMessage(raiseMessage, 0, 0); };
}

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

void WindowPresence::onTrayMessage(std::intptr_t message, TopLevelWindow& window, Menu* menu,
                                   TrayIcon& trayIcon) {
    if (message == windowMessage::WM_LBUTTONUP) {
        set(!hidden_, window, menu, trayIcon);
    } else if (message == trayChangedNotice && hidden_ && !trayIcon.areaAvailable()) {
        window.show();
        set(true, window, menu, trayIcon);
    }
}

void WindowPresence::raise(TopLevelWindow& window, Menu* menu, TrayIcon& trayIcon) {
    set(false, window, menu, trayIcon);
    window.bringToForeground();
}
