#include "app/TrayIcon.h"

#include <utility>

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

void TrayIcon::setDetailsSource(std::function<std::string()> source) {
    detailsSource_ = std::move(source);
}

void TrayIcon::showMessage(const std::string& title, const std::string& text) {
    if (visible_) {
        shell_.showMessage(title, text);
    }
}

void TrayIcon::update() {
    if (!visible_ && pendingAction_ != trayAction::NIM_DELETE) {
        return;
    }
    if (std::string details = detailsSource_ ? detailsSource_() : std::string();
        visible_ && details != iconData_.details) {
        iconData_.details = std::move(details);
        iconData_.flags |= trayFlag::NIF_DETAILS;
        dirty_ = true;
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
