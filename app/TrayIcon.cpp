#include "app/TrayIcon.h"

TrayIcon::TrayIcon(TrayShell& shell, std::uint32_t callbackMessage)
    : shell(shell) {
    // The first call adds the icon, and registers the callback message with it.
    iconData.flags = trayFlag::NIF_MESSAGE;
    iconData.callbackMessage = callbackMessage;
}

void TrayIcon::setVisible(bool value) {
    if (value == visible) {
        return;
    }
    visible = value;
    dirty = true;
    pendingAction = value ? trayAction::NIM_ADD : trayAction::NIM_DELETE;
}

void TrayIcon::setWindow(TopLevelWindow& window) {
    iconData.window = &window;
    dirty = true;
}

void TrayIcon::setIcon(int iconResource) {
    iconData.icon = iconResource;
    iconData.flags |= trayFlag::NIF_ICON;
    dirty = true;
}

void TrayIcon::setTip(const std::string& text) {
    tip = text;
    iconData.tip = tip.substr(0, TrayIconData::tipBytes);
    iconData.flags |= trayFlag::NIF_TIP;
    dirty = true;
}

void TrayIcon::update() {
    if (dirty) {
        shell.notify(pendingAction, iconData);
    }
    iconData.flags = 0;
    dirty = false;
    pendingAction = trayAction::NIM_MODIFY;
}
