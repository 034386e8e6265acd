#include "settings/FtpSettingsDialog.h"

#include "settings/Settings.h"

namespace {

// Every text is read through a buffer of this size, terminating zero included.
constexpr std::size_t textBufferSize = 80;

void fill(DialogHost& dialog) {
    using namespace ftpSettingsItem;
    dialog.setItemUnsigned(port, Settings::getPort());
    dialog.setChecked(active, Settings::getActive());
    dialog.setChecked(stopOnError, Settings::getStopOnError());
    dialog.setChecked(usePassive, Settings::getUsePassive());
    dialog.setItemText(host, Settings::getHost());
    dialog.setItemText(saveTo, Settings::getSaveTo());
    dialog.setItemText(password, Settings::getPassword());
    dialog.setItemText(user, Settings::getUser());
}

void store(const DialogHost& dialog) {
    using namespace ftpSettingsItem;
    Settings::setPort(dialog.readItemUnsigned(port));
    Settings::setActive(dialog.isChecked(active));
    Settings::setStopOnError(dialog.isChecked(stopOnError));
    Settings::setUsePassive(dialog.isChecked(usePassive));
    Settings::setHost(dialog.readItemText(host, textBufferSize));
    Settings::setSaveTo(dialog.readItemText(saveTo, textBufferSize));
    Settings::setPassword(dialog.readItemText(password, textBufferSize));
    Settings::setUser(dialog.readItemText(user, textBufferSize));
}

} // namespace

bool ftpSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId) {
    if (message == DialogMessage::Init) {
        fill(dialog);
        return true;
    }
    switch (commandId) {
    case dialogOk:
        store(dialog);
        dialog.endDialog(dialogOk);
        return true;
    case dialogCancel:
        dialog.endDialog(dialogCancel);
        return true;
    default:
        return false;
    }
}
