#include "res/MenuTemplates.h"

#include <array>

namespace {

using enum MenuItemKind;
using namespace menuCommand;

constexpr MenuItemTemplate separator{Separator};

constexpr std::array settingsItems{
    MenuItemTemplate{Command, "Image...", imageSettings},
    MenuItemTemplate{Command, "FTP...", ftpSettings},
    separator,
    MenuItemTemplate{Command, "Save On Exit", saveOnExit},
    MenuItemTemplate{Command, "Save Settings", saveSettings},
    MenuItemTemplate{Command, "Live View...", liveViewSettings},
    MenuItemTemplate{Command, "Picture...", pictureSettings},
    MenuItemTemplate{Command, "Archive...", archiveSettings},
    MenuItemTemplate{Command, "Status...", status},
};

constexpr std::array cameraItems{
    MenuItemTemplate{Command, "Format...", videoFormat},
    MenuItemTemplate{Command, "Source...", videoSource},
    MenuItemTemplate{Command, "Display...", videoDisplay},
    separator,
    MenuItemTemplate{Command, "Preview...", previewSettings},
};

constexpr std::array zoomItems{
    MenuItemTemplate{Command, "25%", zoomFirst},
    MenuItemTemplate{Command, "37%", zoomFirst + 1},
    MenuItemTemplate{Command, "50%", zoomFirst + 2},
    MenuItemTemplate{Command, "75%", zoomFirst + 3},
    MenuItemTemplate{Command, "100%", zoomFirst + 4},
    MenuItemTemplate{Command, "150%", zoomFirst + 5},
    MenuItemTemplate{Command, "200%", zoomFirst + 6},
    MenuItemTemplate{Command, "250%", zoomFirst + 7},
    MenuItemTemplate{Command, "300%", zoomFirst + 8},
    MenuItemTemplate{Command, "Full", zoomLast},
};

// The device items are appended behind these at run time.
constexpr std::array deviceItems{
    MenuItemTemplate{Command, "Available Devices:", availableDevices, true},
    separator,
};

constexpr std::array contextItems{
    MenuItemTemplate{Command, "Hide", hide},
    separator,
    MenuItemTemplate{Command, "Run", run},
    MenuItemTemplate{Command, "Instant Grab!", instantGrab},
    separator,
    MenuItemTemplate{Popup, "&Settings...", 0, false, settingsItems},
    MenuItemTemplate{Popup, "&Camera Settings...", 0, false, cameraItems},
    MenuItemTemplate{Popup, "Window Zoom", 0, false, zoomItems},
    separator,
    MenuItemTemplate{Popup, "Select Device...", 0, false, deviceItems},
    separator,
    MenuItemTemplate{Command, "About", about},
    MenuItemTemplate{Command, "E&xit", exitProgram},
};

// The popup's own title is never shown: the window has no menu bar.
constexpr std::array mainMenuItems{
    MenuItemTemplate{Popup, "&File", 0, false, contextItems},
};

constexpr MenuTemplate mainMenu{mainMenuItems};

} // namespace

const MenuTemplate* findMenuTemplate(int menuId) {
    return menuId == mainMenuId ? &mainMenu : nullptr;
}
