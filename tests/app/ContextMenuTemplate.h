#pragma once

#include "platform/MenuTemplate.h"

#include <array>

// Menu 109 without its device submenu (item 9 of the context menu is a plain command), for
// the main window's answer to a damaged menu resource.
namespace contextMenuTemplate {

using Kind = MenuItemKind;

inline constexpr std::array settings{
    MenuItemTemplate{Kind::Command, "Image...", 32797},
    MenuItemTemplate{Kind::Command, "FTP...", 32775},
    MenuItemTemplate{Kind::Separator},
    MenuItemTemplate{Kind::Command, "Save On Exit", 32804},
    MenuItemTemplate{Kind::Command, "Save Settings", 32805},
};
inline constexpr std::array camera{
    MenuItemTemplate{Kind::Command, "Format...", 32779},
    MenuItemTemplate{Kind::Command, "Source...", 32782},
    MenuItemTemplate{Kind::Command, "Display...", 32780},
    MenuItemTemplate{Kind::Separator},
    MenuItemTemplate{Kind::Command, "Preview...", 32798},
};
inline constexpr std::array zoom{
    MenuItemTemplate{Kind::Command, "25%", 32786},  MenuItemTemplate{Kind::Command, "37%", 32787},
    MenuItemTemplate{Kind::Command, "50%", 32788},  MenuItemTemplate{Kind::Command, "75%", 32789},
    MenuItemTemplate{Kind::Command, "100%", 32790}, MenuItemTemplate{Kind::Command, "150%", 32791},
    MenuItemTemplate{Kind::Command, "200%", 32792}, MenuItemTemplate{Kind::Command, "250%", 32793},
    MenuItemTemplate{Kind::Command, "300%", 32794}, MenuItemTemplate{Kind::Command, "Full", 32795},
};
inline constexpr std::array popupWithoutDevices{
    MenuItemTemplate{Kind::Command, "Hide", 32802},
    MenuItemTemplate{Kind::Separator},
    MenuItemTemplate{Kind::Command, "Run", 32803},
    MenuItemTemplate{Kind::Command, "Instant Grab!", 145},
    MenuItemTemplate{Kind::Separator},
    MenuItemTemplate{Kind::Popup, "&Settings...", 0, false, settings},
    MenuItemTemplate{Kind::Popup, "&Camera Settings...", 0, false, camera},
    MenuItemTemplate{Kind::Popup, "Window Zoom", 0, false, zoom},
    MenuItemTemplate{Kind::Separator},
    MenuItemTemplate{Kind::Command, "About", 104},
    MenuItemTemplate{Kind::Command, "E&xit", 105},
};
inline constexpr std::array barWithoutDevices{
    MenuItemTemplate{Kind::Popup, "&File", 0, false, popupWithoutDevices}};
inline constexpr MenuTemplate menuWithoutDevices{barWithoutDevices};

} // namespace contextMenuTemplate
