#include "platform/DialogProcedure.h"

bool storingDialogStep(DialogHost& dialog, DialogMessage message, int commandId,
                       const std::function<void(DialogHost&)>& fill,
                       const std::function<bool(DialogHost&)>& store) {
    if (message == DialogMessage::Init) {
        fill(dialog);
        return true;
    }
    switch (commandId) {
    case dialogOk:
        if (store(dialog)) {
            dialog.endDialog(dialogOk);
        }
        return true;
    case dialogCancel:
        dialog.endDialog(dialogCancel);
        return true;
    case dialogApply:
        store(dialog);
        return true;
    default:
        return false;
    }
}
