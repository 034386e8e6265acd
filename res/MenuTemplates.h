#pragma once

#include "platform/MenuTemplate.h"

// The program's menus. Menu 109 is the main window's: its first popup is the context menu.
inline constexpr int mainMenuId = 109;

// The command ids of menu 109's items.
namespace menuCommand {
inline constexpr int about = 104;
inline constexpr int exitProgram = 105;
inline constexpr int instantGrab = 145;
inline constexpr int ftpSettings = 32775;
inline constexpr int videoFormat = 32779;
inline constexpr int videoDisplay = 32780;
inline constexpr int videoSource = 32782;
// "25%" to "300%" and "Full": zoomFirst + the zoom index 0 to 9.
inline constexpr int zoomFirst = 32786;
inline constexpr int zoomLast = 32795;
inline constexpr int imageSettings = 32797;
inline constexpr int previewSettings = 32798;
inline constexpr int hide = 32802;
inline constexpr int run = 32803;
inline constexpr int saveOnExit = 32804;
inline constexpr int saveSettings = 32805;
// The grey heading of the device submenu.
inline constexpr int availableDevices = 32808;
// The devices appended at run time: firstDevice + the device's list position, up to
// lastDevice.
inline constexpr int firstDevice = 32809;
inline constexpr int lastDevice = 32819;
// Appended to the Settings submenu.
inline constexpr int liveViewSettings = 33110;
inline constexpr int pictureSettings = 33100;
inline constexpr int archiveSettings = 33120;
// Settings > Status...: the health of the camera, the JPEG file and the upload.
inline constexpr int status = 33130;
} // namespace menuCommand

// The template with the given id, or null when there is none.
const MenuTemplate* findMenuTemplate(int menuId);
