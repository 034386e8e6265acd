#include "qt/QtTrayShell.h"

#include "platform/TopLevelWindow.h"
#include "platform/WindowTypes.h"
#include "qt/QtIcons.h"

#include <QSystemTrayIcon>

#include <algorithm>

QtTrayShell::QtTrayShell() = default;
QtTrayShell::~QtTrayShell() = default;

void QtTrayShell::apply(const TrayIconData& data) {
    if (data.flags & trayFlag::NIF_MESSAGE) {
        window = data.window;
        iconId = data.id;
        callbackMessage = data.callbackMessage;
    }
    if (data.flags & trayFlag::NIF_ICON) {
        icon->setIcon(QIcon(iconPixmap(data.icon, 16)));
    }
    if (data.flags & trayFlag::NIF_TIP) {
        const std::size_t length = std::min(data.tip.size(), TrayIconData::tipBytes);
        icon->setToolTip(QString::fromUtf8(data.tip.data(), qsizetype(length)));
    }
}

bool QtTrayShell::notify(std::int32_t action, const TrayIconData& data) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    switch (action) {
    case trayAction::NIM_ADD:
        if (icon) {
            return false;
        }
        icon = std::make_unique<QSystemTrayIcon>();
        QObject::connect(
            icon.get(), &QSystemTrayIcon::activated,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (window == nullptr || callbackMessage == 0) {
                    return;
                }
                if (reason == QSystemTrayIcon::Trigger) {
                    window->postMessage(callbackMessage, iconId, windowMessage::WM_LBUTTONUP);
                } else if (reason == QSystemTrayIcon::Context) {
                    window->postMessage(callbackMessage, iconId, windowMessage::WM_RBUTTONDOWN);
                }
            });
        apply(data);
        icon->show();
        return true;
    case trayAction::NIM_MODIFY:
        if (!icon) {
            return false;
        }
        apply(data);
        return true;
    case trayAction::NIM_DELETE:
        if (!icon) {
            return false;
        }
        icon.reset();
        window = nullptr;
        return true;
    default:
        return false;
    }
}
