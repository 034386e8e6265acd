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
        window_ = data.window;
        iconId_ = data.id;
        callbackMessage_ = data.callbackMessage;
    }
    if (data.flags & trayFlag::NIF_ICON) {
        icon_->setIcon(QIcon(iconPixmap(data.icon, 16)));
    }
    if (data.flags & trayFlag::NIF_TIP) {
        const std::size_t length = std::min(data.tip.size(), TrayIconData::tipBytes);
        icon_->setToolTip(QString::fromUtf8(data.tip.data(), qsizetype(length)));
    }
}

bool QtTrayShell::notify(std::int32_t action, const TrayIconData& data) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    switch (action) {
    case trayAction::NIM_ADD:
        if (icon_) {
            return false;
        }
        icon_ = std::make_unique<QSystemTrayIcon>();
        QObject::connect(
            icon_.get(), &QSystemTrayIcon::activated,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (window_ == nullptr || callbackMessage_ == 0) {
                    return;
                }
                if (reason == QSystemTrayIcon::Trigger) {
                    window_->postMessage(callbackMessage_, iconId_, windowMessage::WM_LBUTTONUP);
                } else if (reason == QSystemTrayIcon::Context) {
                    window_->postMessage(callbackMessage_, iconId_, windowMessage::WM_RBUTTONDOWN);
                }
            });
        apply(data);
        icon_->show();
        return true;
    case trayAction::NIM_MODIFY:
        if (!icon_) {
            return false;
        }
        apply(data);
        return true;
    case trayAction::NIM_DELETE:
        if (!icon_) {
            return false;
        }
        icon_.reset();
        window_ = nullptr;
        return true;
    default:
        return false;
    }
}
