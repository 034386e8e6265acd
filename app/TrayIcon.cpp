#include "app/TrayIcon.h"

TrayIcon::TrayIcon(TrayShell& shell, std::uint32_t callbackMessage)
    : shell_(shell) {
    // The first call adds the icon, and registers the callback message with it.
    iconData_.flags = trayFlag::NIF_MESSAGE;
    iconData_.callbackMessage = callbackMessage;
}

void TrayIcon::setVisible(bool value) {
    if (value == visible_) {
        return;
    }
    visible_ = value;
    dirty_ = true;
    pendingAction_ = value ? trayAction::NIM_ADD : trayAction::NIM_DELETE;
}

void TrayIcon::setWindow(TopLevelWindow& window) {
    iconData_.window = &window;
    dirty_ = true;
}

void TrayIcon::setIcon(int iconResource) {
    iconData_.icon = iconResource;
    iconData_.flags |= trayFlag::NIF_ICON;
    dirty_ = true;
}

void TrayIcon::setTip(const std::string& text) {
    tip_ = text;
    iconData_.tip = tip_.substr(0, TrayIconData::tipBytes);
    iconData_.flags |= trayFlag::NIF_TIP;
    dirty_ = true;
}

void TrayIcon::update() {
    if (!visible_ && pendingAction_ != trayAction::NIM_DELETE) {
        return;
    }
    if (dirty_) {
        shell_.notify(pendingAction_, iconData_);
    }
    iconData_.flags = 0;
    dirty_ = false;
    pendingAction_ = trayAction::NIM_MODIFY;
}

void TrayIcon::show(int iconResource, const std::string& text) {
    setIcon(iconResource);
    setTip(text);
    update();
}
