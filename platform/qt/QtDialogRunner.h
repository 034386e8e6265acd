#pragma once

#include "platform/DialogRunner.h"

class QWidget;

// Runs the program's dialog templates as modal Qt dialogs.
class QtDialogRunner : public DialogRunner {
public:
    // owner: the window the dialogs belong to, or null for none.
    explicit QtDialogRunner(QWidget* owner = nullptr);

    // Returns -1 when there is no template templateId.
    int runDialog(int templateId, const DialogProcedure& procedure) override;

private:
    QWidget* owner_;
};
