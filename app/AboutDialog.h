#pragma once

#include "platform/DialogProcedure.h"

// The procedure of the About box: its one button ends it, by Enter or Esc, with the
// command's id.
bool aboutDialogProc(DialogHost& dialog, DialogMessage message, int commandId);
