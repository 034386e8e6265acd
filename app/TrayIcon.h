#pragma once

#include "platform/TrayShell.h"

#include <cstdint>
#include <functional>
#include <string>

class TopLevelWindow;

// The program's one icon in the notification area. Changes are gathered and sent to the
// shell by update() in one call, so a picture and a tool-tip changed together cost one
// call, and an update with nothing changed costs none. Once removed, the icon takes no
// changes until it is shown again.
class TrayIcon {
public:
    TrayIcon(TrayShell& shell, std::uint32_t callbackMessage);
    virtual ~TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Becoming visible adds the icon at the next update, becoming invisible removes it; the
    // same value again changes nothing.
    void setVisible(bool visible);
    // The window the click messages go to.
    void setWindow(TopLevelWindow& window);
    // The picture, by icon resource number; the same number again still counts as a change.
    void setIcon(int iconResource);
    // The tool-tip, cut to its first 63 bytes.
    void setTip(const std::string& text);
    // Sends what changed since the last update, if anything, to the shell; nothing while the
    // icon is removed.
    void update();
    // The picture and the tool-tip together, sent at once.
    void show(int iconResource, const std::string& text);
    // The lines below the tool-tip, which each update asks source for; the same text again is
    // no change.
    void setDetailsSource(std::function<std::string()> source);
    // Whether the desktop has a notification area now.
    bool areaAvailable() const { return shell_.available(); }
    // A desktop notification, while the icon is shown.
    void showMessage(const std::string& title, const std::string& text);

private:
    TrayShell& shell_;
    std::string tip_;
    std::int32_t pendingAction_ = trayAction::NIM_ADD;
    bool visible_ = false;
    bool dirty_ = false;
    TrayIconData iconData_;
    std::function<std::string()> detailsSource_;
};
