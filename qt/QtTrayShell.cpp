#include "qt/QtTrayShell.h"

#include "platform/TopLevelWindow.h"
#include "platform/WindowTypes.h"
#include "qt/QtIcons.h"

#include <QSystemTrayIcon>

#include <algorithm>

QtTrayShell::QtTrayShell()
    : wasAvailable_(QSystemTrayIcon::isSystemTrayAvailable()) {
    QObject::connect(&lookAgain_, &QTimer::timeout, [this] { lookAgain(); });
    lookAgain_.start(2000);
}

QtTrayShell::~QtTrayShell() = default;

bool QtTrayShell::available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayShell::showMessage(const std::string& title, const std::string& text) {
    if (icon_ && QSystemTrayIcon::supportsMessages()) {
        icon_->showMessage(QString::fromStdString(title), QString::fromStdString(text));
    }
}

void QtTrayShell::lookAgain() {
    const bool now = available();
    if (now == wasAvailable_) {
        return;
    }
    wasAvailable_ = now;
    if (now && wantedShown_ && !icon_) {
        add();
    }
    if (wanted_.window != nullptr && wanted_.callbackMessage != 0) {
        wanted_.window->postMessage(wanted_.callbackMessage, wanted_.id, trayChangedNotice);
    }
}

void QtTrayShell::apply(const TrayIconData& data) {
    if (data.flags & trayFlag::NIF_MESSAGE) {
        wanted_.window = data.window;
        wanted_.id = data.id;
        wanted_.callbackMessage = data.callbackMessage;
    }
    if (data.flags & trayFlag::NIF_ICON) {
        wanted_.icon = data.icon;
    }
    if (data.flags & trayFlag::NIF_TIP) {
        wanted_.tip = data.tip.substr(0, std::min(data.tip.size(), TrayIconData::tipBytes));
    }
    if (data.flags & trayFlag::NIF_DETAILS) {
        wanted_.details = data.details;
    }
    if (icon_) {
        icon_->setIcon(QIcon(iconPixmap(wanted_.icon, 16)));
        icon_->setToolTip(QString::fromStdString(
            wanted_.details.empty() ? wanted_.tip : wanted_.tip + "\n" + wanted_.details));
    }
}

void QtTrayShell::add() {
    icon_ = std::make_unique<QSystemTrayIcon>();
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         TopLevelWindow* window = wanted_.window;
                         if (window == nullptr || wanted_.callbackMessage == 0) {
                             return;
                         }
                         if (reason == QSystemTrayIcon::Trigger) {
                             window->postMessage(wanted_.callbackMessage, wanted_.id,
                                                 windowMessage::WM_LBUTTONUP);
                         } else if (reason == QSystemTrayIcon::Context) {
                             window->postMessage(wanted_.callbackMessage, wanted_.id,
                                                 windowMessage::WM_RBUTTONDOWN);
                         }
                     });
    apply({});
    icon_->show();
}

bool QtTrayShell::notify(std::int32_t action, const TrayIconData& data) {
    switch (action) {
    case trayAction::NIM_ADD:
        if (wantedShown_) {
            return false;
        }
        wantedShown_ = true;
        apply(data);
        if (!available()) {
            return false;
        }
        add();
        return true;
    case trayAction::NIM_MODIFY:
        if (!wantedShown_) {
            return false;
        }
        apply(data);
        return icon_ != nullptr;
    case trayAction::NIM_DELETE:
        if (!wantedShown_) {
            return false;
        }
        wantedShown_ = false;
        icon_.reset();
        wanted_ = {};
        return true;
    default:
        return false;
    }
}
