#pragma once

#include "platform/DialogProcedure.h"
#include "res/DialogTemplates.h"

// The procedure of the "Live View" dialog: fills the items from the settings store and
// says who can see the live view with them. "OK" and "Apply" check what was typed (an IP
// address, a port, a user name and a password for an address beyond this machine, both or
// neither of the certificate and key files); on a mistake an error box says what is wrong,
// nothing is stored and the dialog stays open. Otherwise they store the values, the viewers
// held to 1-100, and "OK" closes the dialog; "Cancel" closes it and stores nothing.
bool liveViewSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId);

// Who can see the live view at that address, and whether a password would cross the
// network in clear text.
std::string liveViewExposure(const std::string& address, bool tls);
