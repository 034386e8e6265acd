#pragma once

#include "platform/DialogProcedure.h"
#include "res/DialogTemplates.h"

// The procedure of the "Picture" dialog: fills the items from the settings store; "OK"
// checks every value and stores them all and closes the dialog, or, at the first value
// out of its range, shows it in an error box, gives its item the focus, stores nothing and
// leaves the dialog open;
// "Cancel" closes it and stores nothing. The buttons beside the date pattern fill in the
// ISO form, the locale's form or the usual one (empty). A crop rectangle must lie inside
// a frame of frameWidth x frameHeight pixels, when those are known (above 0).
DialogProcedure pictureSettingsDialog(int frameWidth, int frameHeight);
