#pragma once

#include "base/HealthLine.h"
#include "ftp/FtpLogin.h"
#include "ftp/Thread.h"

#include <chrono>
#include <memory>
#include <string>

class UploadSession;
class ThreadControl;

// The upload worker of a running grabber. It keeps one FTP connection open and, each time
// post() hands it a file, stores that file on the server; between uploads it is parked.
// A file posted while the worker is connecting or still uploading the previous one is not
// uploaded: the next post after that sends the newest file.
//
// Servers close connections that stay idle too long. When a store fails because the kept
// connection is gone, the worker logs in again and stores the same file at once; only a
// failure over a fresh connection, or a refusal by the server on a live one, counts.
//
// A counted failure is told on the health line, and so is the first success after it.
// Without the login's stopOnError the worker goes on: it connects again, pausing between failed
// attempts (growing from the retry pause's first value to its longest, and back to the first
// after a success), and keeps a connection on which the server refused a file for the next
// one. With stopOnError the first counted failure ends the worker and keeps its message; the
// next post() returns false and lastError() gives the message.
class FTPThread final : public Thread {
public:
    // The words of the upload's health line.
    static constexpr HealthWords healthWords{"upload", "failing", "working again"};

    struct RetryPause {
        std::chrono::milliseconds first;
        std::chrono::milliseconds longest;
    };
    // Between failed connection attempts: 1 s, doubling up to 60 s.
    static constexpr RetryPause defaultRetryPause{std::chrono::seconds(1),
                                                  std::chrono::seconds(60)};

    // health is where the worker tells how uploads fare; the instant grab tells the same one.
    FTPThread(FtpLogin login, std::shared_ptr<HealthLine> health,
              RetryPause retryPause = defaultRetryPause);
    ~FTPThread() override;

    void run() override;

    // Hands the worker a file to upload. Returns false only when the worker has stopped
    // after a failure.
    bool post(const std::string& localFile, const std::string& remoteFile);
    // The message of the failure that stopped the worker.
    std::string lastError() const;
    // Hands the worker a picture for the archive on the server, stored as remoteFile with its
    // folders made as needed. These go after the newest file, oldest first, one at a time,
    // and a newest file posted meanwhile goes before the next. Those not stored yet (the
    // server down, or one refused, which is tried again on the next connection) wait, the
    // last maxArchiveWaiting of them.
    void postArchive(const std::string& localFile, const std::string& remoteFile);
    static constexpr std::size_t maxArchiveWaiting = 100;

private:
    struct State;
    struct Upload {
        std::string localFile;
        std::string remoteFile;
    };

    static void work(State& state, ThreadControl& control);
    // Logs in on a new session; null when that failed (the failure is counted).
    static std::unique_ptr<UploadSession> connect(State& state, ThreadControl& control);
    // Counts a failure: tells the health line and, with stopOnError, ends the worker with
    // the message. Returns whether the worker goes on.
    static bool fail(State& state, const std::string& message, const std::string& reason);
    static bool takeNewest(State& state, ThreadControl& control, Upload& upload);
    // Stores the archive's waiting pictures on session until none waits, a newest file is
    // posted, or one fails. Returns whether the session is still of use.
    static bool storeArchive(State& state, UploadSession& session, ThreadControl& control);

    std::shared_ptr<State> state_;
};
