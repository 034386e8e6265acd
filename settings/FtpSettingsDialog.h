#pragma once

#include "platform/DialogProcedure.h"

// Items of the "FTP Settings" dialog (template 132).
namespace ftpSettingsItem {
inline constexpr int host = 1007;
inline constexpr int port = 1008;
inline constexpr int saveTo = 1009;
inline constexpr int user = 1010;
inline constexpr int password = 1011;
inline constexpr int active = 1014;
inline constexpr int stopOnError = 1015;
inline constexpr int usePassive = 1018;
} // namespace ftpSettingsItem

// The procedure of the "FTP Settings" dialog: fills the items from the settings store; "OK"
// stores them as typed (nothing is checked) and closes the dialog, "Cancel" closes it and
// stores nothing.
bool ftpSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId);
