#pragma once

#include "platform/DialogRunner.h"

// Runs the program's dialog templates as modal Qt dialogs, each a child window of its
// owner's Qt window, so the window system keeps it above the owner (the main window stays
// above every other window).
class QtDialogRunner : public DialogRunner {
public:
    // Returns -1 when there is no template templateId.
    int runDialog(TopLevelWindow* owner, int templateId, const DialogProcedure& procedure) override;
};
