#pragma once

#include "platform/DialogProcedure.h"

// Items of the "Image Settings" dialog (template 134).
namespace imageSettingsItem {
inline constexpr int quality = 1005;
inline constexpr int jpegFile = 1006;
inline constexpr int textOverlay = 1007;
inline constexpr int textRed = 1008;
inline constexpr int textGreen = 1009;
inline constexpr int textBlue = 1010;
inline constexpr int update = 1013;
inline constexpr int backRed = 1015;
inline constexpr int backGreen = 1016;
inline constexpr int dateTimeOverlay = 1017;
inline constexpr int backBlue = 1018;
} // namespace imageSettingsItem

// The procedure of the "Image Settings" dialog: fills the items from the settings store;
// "OK" stores them and closes the dialog unless the file name was refused, "Apply" stores
// them and leaves it open, "Cancel" closes it and stores nothing.
bool imageSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId);

// Reads, limits and stores every value of the dialog, each written to the settings store
// as soon as it is read. Answers false only when the file name was refused; the other
// values are stored by then.
bool applyImageSettings(DialogHost& dialog);
