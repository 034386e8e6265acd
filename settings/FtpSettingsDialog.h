#pragma once

#include "platform/DialogProcedure.h"
#include "res/DialogTemplates.h"

// The procedure of the "FTP Settings" dialog: fills the items from the settings store; "OK"
// stores them as typed (nothing is checked) and closes the dialog, "Cancel" closes it and
// stores nothing.
bool ftpSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId);
