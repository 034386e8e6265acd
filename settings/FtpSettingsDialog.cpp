#include "settings/FtpSettingsDialog.h"

#include "base/ErrorBox.h"
#include "net/ServerAddress.h"
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
    // The placeholder host of a new settings file names no server: nothing is uploaded.
    if (Settings::getHost() == placeholderHost) {
        dialog.setItemText(ftpGroup, "FTP not set up");
    }
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

// Shows why the host and port typed cannot be used, and says whether they cannot. An empty
// host names no server yet; it is stored as it is, with any port.
bool refuseAddress(const DialogHost& dialog) {
    using namespace ftpSettingsItem;
    const std::string hostText = dialog.readItemText(host, textBufferSize);
    if (hostText.empty()) {
        return false;
    }
    const ServerAddress address = ServerAddress::parse(hostText, dialog.readItemUnsigned(port));
    if (address.usable()) {
        return false;
    }
    showErrorBox(std::string(ServerAddress::connectMessage) + "\n" + address.refusal());
    return true;
}

} // namespace

bool ftpSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId) {
    return storingDialogStep(dialog, message, commandId, fill, [](DialogHost& typed) {
        if (refuseAddress(typed)) {
            return false;
        }
        store(typed);
        return true;
    });
}
