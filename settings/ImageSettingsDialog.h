#pragma once

#include "platform/DialogProcedure.h"
#include "res/DialogTemplates.h"

// The procedure of the "Image Settings" dialog: fills the items from the settings store;
// "OK" stores them and closes the dialog unless the file name was refused, "Apply" stores
// them and leaves it open, "Cancel" closes it and stores nothing.
bool imageSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId);

// Reads, limits and stores every value of the dialog, each written to the settings store
// as soon as it is read. Answers false only when the file name was refused; the other
// values are stored by then.
bool applyImageSettings(DialogHost& dialog);
