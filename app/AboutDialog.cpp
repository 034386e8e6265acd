#include "app/AboutDialog.h"

bool aboutDialogProc(DialogHost& dialog, DialogMessage message, int commandId) {
    if (message == DialogMessage::Init) {
        return true;
    }
    if (commandId == dialogOk || commandId == dialogCancel) {
        dialog.endDialog(commandId);
        return true;
    }
    return false;
}
