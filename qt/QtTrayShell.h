#pragma once

#include "platform/TrayShell.h"

#include <memory>

class QSystemTrayIcon;

// The notification area through QSystemTrayIcon. The icon numbers are res/'s icons. A left
// click (QSystemTrayIcon's Trigger) is reported as the left button's release, a context-menu
// request as the right button's press. Where the desktop has no notification area every
// call returns false and nothing is shown.
class QtTrayShell : public TrayShell {
public:
    QtTrayShell();
    ~QtTrayShell() override;
    QtTrayShell(const QtTrayShell&) = delete;
    QtTrayShell& operator=(const QtTrayShell&) = delete;

    bool notify(std::int32_t action, const TrayIconData& data) override;

private:
    void apply(const TrayIconData& data);

    std::unique_ptr<QSystemTrayIcon> icon_;
    TopLevelWindow* window_ = nullptr;
    std::uint32_t iconId_ = 0;
    std::uint32_t callbackMessage_ = 0;
};
