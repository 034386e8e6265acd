#pragma once

#include "platform/TrayShell.h"

#include <QTimer>

#include <memory>

class QSystemTrayIcon;

// The notification area through QSystemTrayIcon. The icon numbers are res/'s icons. A left
// click (QSystemTrayIcon's Trigger) is reported as the left button's release, a context-menu
// request as the right button's press. The tool-tip is the tip with the details below it.
// Where the desktop has no notification area every call returns false and nothing is shown;
// the shell looks again every two seconds, adds the icon asked for once one appears, and
// tells the icon's window when one appears or goes.
class QtTrayShell : public TrayShell {
public:
    QtTrayShell();
    ~QtTrayShell() override;
    QtTrayShell(const QtTrayShell&) = delete;
    QtTrayShell& operator=(const QtTrayShell&) = delete;

    bool notify(std::int32_t action, const TrayIconData& data) override;
    bool available() const override;
    void showMessage(const std::string& title, const std::string& text) override;

private:
    void add();
    void apply(const TrayIconData& data);
    void lookAgain();

    std::unique_ptr<QSystemTrayIcon> icon_;
    // The icon as asked for, while it is to be shown: what the shell adds when a notification
    // area appears.
    TrayIconData wanted_;
    bool wantedShown_ = false;
    bool wasAvailable_ = false;
    QTimer lookAgain_;
};
