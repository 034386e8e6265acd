#pragma once

#include "platform/DialogProcedure.h"

// Items of the "Preview Settings" dialog (template 135).
namespace previewSettingsItem {
inline constexpr int fps = 1000;
} // namespace previewSettingsItem

// The procedure of the "Preview Settings" dialog: shows the preview frame rate; "OK" stores
// it limited to 1 to maxfps and closes the dialog, "Cancel" closes it and stores nothing.
bool previewSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId);
