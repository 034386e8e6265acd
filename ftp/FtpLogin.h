#pragma once

#include "net/ServerAddress.h"

#include <string>

// The account the uploads use, as the FTP settings give it: the server, who logs in, and
// how the uploads go. Copied whole into each upload, so that later changes to the settings
// touch none in progress.
struct FtpLogin {
    ServerAddress address;
    std::string user;
    std::string password;
    // A passive data connection for the FTP forms; otherwise the server connects back to
    // this machine. SFTP has no separate data connections and ignores it.
    bool passive = true;
    // Whether the upload worker ends at its first failure; a single upload ignores it.
    bool stopOnError = false;
    // How many seconds a stored picture stays fresh for those who fetch it (the update
    // interval), said to caches over HTTP; 0 says nothing.
    unsigned cacheSeconds = 0;
};
