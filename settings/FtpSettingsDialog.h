#pragma once

#include "platform/DialogProcedure.h"
#include "res/DialogTemplates.h"

// The procedure of the "FTP Settings" dialog: fills the items from the settings store; "OK"
// stores them as typed and closes the dialog, unless the host and port are no server
// address the uploads could use: then it says why in an error box, stores nothing and leaves
// the dialog open. "Cancel" closes it and stores nothing.
bool ftpSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId);
