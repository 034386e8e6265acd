#include "settings/LiveViewSettingsDialog.h"

#include "base/ErrorBox.h"
#include "settings/ListenAddress.h"
#include "settings/Settings.h"

#include <algorithm>
#include <optional>

namespace {

// Every text is read through a buffer of this size, terminating zero included.
constexpr std::size_t textBufferSize = 256;
constexpr unsigned maxPort = 65535;
constexpr unsigned maxViewers = 100;

struct Typed {
    bool active;
    std::string address;
    unsigned port;
    std::string user;
    std::string password;
    std::string certFile;
    std::string keyFile;
    unsigned viewers;
};

Typed read(const DialogHost& dialog) {
    using namespace liveViewSettingsItem;
    return {dialog.isChecked(active),
            dialog.readItemText(address, textBufferSize),
            dialog.readItemUnsigned(port),
            dialog.readItemText(user, textBufferSize),
            dialog.readItemText(password, textBufferSize),
            dialog.readItemText(certFile, textBufferSize),
            dialog.readItemText(keyFile, textBufferSize),
            std::clamp(dialog.readItemUnsigned(viewers), 1U, maxViewers)};
}

// What is wrong with the values, if anything.
std::optional<std::string> mistake(const Typed& typed) {
    const auto address = ListenAddress::parse(typed.address, typed.port);
    if (!address) {
        return "The live view's address must be an IP address, such as 127.0.0.1 or "
               "0.0.0.0:\n\n   " +
               typed.address;
    }
    if (typed.port == 0 || typed.port > maxPort) {
        return std::string("The live view's port must be between 1 and 65535.");
    }
    if (!address->loopback && (typed.user.empty() || typed.password.empty())) {
        return std::string("An address beyond this machine needs a user name and a password.");
    }
    if (typed.certFile.empty() != typed.keyFile.empty()) {
        return std::string("HTTPS needs both a certificate file and its key file.");
    }
    return std::nullopt;
}

void showExposure(DialogHost& dialog) {
    dialog.setItemText(
        liveViewSettingsItem::exposure,
        liveViewExposure(Settings::getLiveAddress(), !Settings::getLiveCertFile().empty() &&
                                                         !Settings::getLiveKeyFile().empty()));
}

void fill(DialogHost& dialog) {
    using namespace liveViewSettingsItem;
    dialog.setChecked(active, Settings::getLiveActive());
    dialog.setItemText(address, Settings::getLiveAddress());
    dialog.setItemUnsigned(port, Settings::getLivePort());
    dialog.setItemText(user, Settings::getLiveUser());
    dialog.setItemText(password, Settings::getLivePassword());
    dialog.setItemText(certFile, Settings::getLiveCertFile());
    dialog.setItemText(keyFile, Settings::getLiveKeyFile());
    dialog.setItemUnsigned(viewers, static_cast<unsigned>(Settings::getLiveViewers()));
    showExposure(dialog);
}

bool apply(DialogHost& dialog) {
    const Typed typed = read(dialog);
    if (const auto wrong = mistake(typed)) {
        showErrorBox(*wrong);
        return false;
    }
    Settings::setLiveActive(typed.active);
    Settings::setLiveAddress(typed.address);
    Settings::setLivePort(typed.port);
    Settings::setLiveUser(typed.user);
    Settings::setLivePassword(typed.password);
    Settings::setLiveCertFile(typed.certFile);
    Settings::setLiveKeyFile(typed.keyFile);
    Settings::setLiveViewers(static_cast<std::int32_t>(typed.viewers));
    showExposure(dialog);
    return true;
}

} // namespace

std::string liveViewExposure(const std::string& address, bool tls) {
    const auto parsed = ListenAddress::parse(address, 0);
    if (parsed && parsed->loopback) {
        return "Only this machine can see the live view.";
    }
    if (!tls) {
        return "Other machines can see the live view. The password and the pictures cross the "
               "network in clear text: give a certificate and a key for HTTPS.";
    }
    return "Other machines can see the live view over HTTPS, with the user name and password.";
}

bool liveViewSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId) {
    return storingDialogStep(dialog, message, commandId, fill, apply);
}
