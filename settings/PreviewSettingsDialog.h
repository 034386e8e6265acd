#pragma once

#include "platform/DialogProcedure.h"
#include "res/DialogTemplates.h"

// The procedure of the "Preview Settings" dialog: shows the preview frame rate; "OK" stores
// it limited to 1 to maxfps and closes the dialog, "Cancel" closes it and stores nothing.
bool previewSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId);
