#pragma once

#include "base/HealthLine.h"
#include "ftp/FtpLogin.h"
#include "ftp/Thread.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class UploadSession;

// The upload of an "Instant Grab!" made while the grabber is idle: on a worker thread of its
// own, so that a slow or silent server never holds the user interface, it connects, stores
// one file (and after it the pictures for the archive on the server, their folders made as
// needed), closes the connection, tells the health line how it went and calls finished.
//
// finished runs on the worker, at most once, and never once the destructor has begun; it
// only hands the news to the owner's thread (a posted window message), which then reads
// result(). The destructor cancels a connect or a transfer in progress and returns at once;
// a cancelled upload reports nothing.
class InstantUpload final : public Thread {
public:
    struct Result {
        bool succeeded;
        // The text of the FTP error, for the error box; empty on success.
        std::string message;
    };

    // A picture for the archive on the server.
    struct ArchiveFile {
        std::string localFile;
        std::string remoteFile;
    };

    // The worker parks until start(), like every Thread. The login's stopOnError plays no
    // part. A picture of archive that fails to go up is told on the health line; the
    // result is that of the file.
    InstantUpload(FtpLogin login, std::string localFile, std::string remoteFile,
                  std::vector<ArchiveFile> archive, std::shared_ptr<HealthLine> health,
                  std::function<void()> finished);
    ~InstantUpload() override;

    void run() override;

    // How the upload went; nothing until it has ended.
    std::optional<Result> result() const;

private:
    struct State;

    // Stores the archive's pictures after the file; false when one failed (told on the
    // health line).
    static bool storeArchive(State& state, UploadSession& session);

    std::shared_ptr<State> state_;
};
