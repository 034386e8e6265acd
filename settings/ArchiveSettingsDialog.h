#pragma once

#include "platform/DialogProcedure.h"
#include "res/DialogTemplates.h"

// The procedure of the "Archive Settings" dialog: fills the items from the settings store;
// "OK" stores them and closes the dialog unless a name was refused, "Cancel" closes it and
// stores nothing.
bool archiveSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId);

// Reads, limits and stores the dialog's values. A name that is no usable pattern (an
// unknown conversion, a "." or ".." folder, a name ending in a folder) is refused in an
// error box, and then nothing is stored; answers whether the values were stored.
bool applyArchiveSettings(DialogHost& dialog);
