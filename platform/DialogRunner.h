#pragma once

#include "platform/DialogProcedure.h"

class TopLevelWindow;

// Runs dialogs modally. The main window opens its dialogs through this interface, so a
// test can put a fake in its place.
class DialogRunner {
public:
    virtual ~DialogRunner() = default;

    // Builds the dialog of the template templateId, owned by owner (may be null): above it
    // and modal to it. Hands procedure the Init message and then every command, and returns
    // the result given to DialogHost::endDialog once the dialog has closed. Other events of
    // the program (timers) go on while it runs.
    virtual int runDialog(TopLevelWindow* owner, int templateId,
                          const DialogProcedure& procedure) = 0;
};
