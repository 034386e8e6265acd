#pragma once

#include "platform/DialogHost.h"

#include <functional>

// The two messages a dialog procedure receives.
enum class DialogMessage {
    // The dialog has been built and is about to be shown: fill the items.
    Init,
    // A button was pressed (or a check box clicked); commandId is its item id. "OK" is 1,
    // "Cancel" 2 (also the close box and Esc), "Apply" 3.
    Command,
};

// Standard command ids.
inline constexpr int dialogOk = 1;
inline constexpr int dialogCancel = 2;
inline constexpr int dialogApply = 3;

// Handles one message of a running dialog and says whether it did; commandId is 0 for
// Init. The answer to Init is whether the dialog should give the focus to its initial item.
using DialogProcedure =
    std::function<bool(DialogHost& dialog, DialogMessage message, int commandId)>;

// One message of a dialog that fills its items when it starts and stores what was typed with
// "OK", which then ends it unless store refused the input, and with "Apply", which keeps it
// open; "Cancel" ends it. False for any other command, for the caller to handle.
bool storingDialogStep(DialogHost& dialog, DialogMessage message, int commandId,
                       const std::function<void(DialogHost&)>& fill,
                       const std::function<bool(DialogHost&)>& store);
