#pragma once

#include "ftp/Thread.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class ThreadControl;

// The upload worker of a running grabber. It keeps one FTP connection open and, each time
// post() hands it a file, stores that file on the server; between uploads it is parked.
// A file posted while the worker is connecting or still uploading the previous one is not
// uploaded: the next post after that sends the newest file.
//
// Without stopOnError every failure is silent: the worker connects again, pausing between
// failed attempts (growing from the retry pause's first value to its longest, and back to
// the first after a success). With stopOnError the first failure ends the worker and keeps
// its message; the next post() returns false and lastError() gives the message.
class FTPThread final : public Thread {
public:
    struct RetryPause {
        std::chrono::milliseconds first;
        std::chrono::milliseconds longest;
    };
    // Between failed connection attempts: 1 s, doubling up to 60 s.
    static constexpr RetryPause defaultRetryPause{std::chrono::seconds(1),
                                                  std::chrono::seconds(60)};

    FTPThread(std::string host, std::string user, std::string password, std::uint32_t port,
              bool stopOnError, bool passive, RetryPause retryPause = defaultRetryPause);
    ~FTPThread() override;

    void run() override;

    // Hands the worker a file to upload. Returns false only when the worker has stopped
    // after a failure.
    bool post(const std::string& localFile, const std::string& remoteFile);
    // The message of the failure that stopped the worker.
    std::string lastError() const;

private:
    struct State;

    static void work(State& state, ThreadControl& control);

    std::shared_ptr<State> state_;
};
