#include "ftp/FTPThread.h"

#include "ftp/FTPSession.h"
#include "platform/Exception.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

// Everything the worker uses lives here, owned jointly by the object and the worker, so
// that a worker still unwinding after the object has gone touches nothing released.
struct FTPThread::State {
    // Copies of the FTP settings, made once at construction.
    std::string host;
    std::string user;
    std::string password;
    std::uint32_t port;
    bool stopOnError;
    bool passive;
    RetryPause retryPause;

    std::atomic<bool> connected{false};
    std::atomic<bool> keepRunning{true};
    std::atomic<bool> connecting{false};

    // Guards the pending names and the error text; never held while connecting or
    // uploading.
    mutable std::mutex mutex;
    std::string pendingLocalFile;
    std::string pendingRemoteFile;
    std::string lastErrorText;
};

FTPThread::FTPThread(std::string host, std::string user, std::string password, std::uint32_t port,
                     bool stopOnError, bool passive, RetryPause retryPause)
    : state_(std::make_shared<State>()) {
    state_->host = std::move(host);
    state_->user = std::move(user);
    state_->password = std::move(password);
    state_->port = port;
    state_->stopOnError = stopOnError;
    state_->passive = passive;
    state_->retryPause = retryPause;
}

FTPThread::~FTPThread() {
    state_->keepRunning.store(false, std::memory_order_release);
    end();
}

void FTPThread::run() {
    const std::shared_ptr<State> state = state_;
    const std::shared_ptr<ThreadControl> control = this->control();
    letGo();
    work(*state, *control);
}

void FTPThread::work(State& state, ThreadControl& control) {
    auto pause = state.retryPause.first;
    while (state.keepRunning.load(std::memory_order_acquire) && !control.cancelled()) {
        state.connecting.store(true, std::memory_order_release);
        bool connectedNow = false;
        try {
            FTPSession session(&control.cancelFlag());
            session.connect(state.host, state.user, state.password, state.port, state.passive);
            connectedNow = true;
            state.connected.store(true, std::memory_order_release);
            pause = state.retryPause.first;
            while (state.keepRunning.load(std::memory_order_acquire)) {
                state.connecting.store(false, std::memory_order_release);
                if (!control.park()) {
                    return;
                }
                std::string localFile;
                std::string remoteFile;
                {
                    std::lock_guard lock(state.mutex);
                    localFile = state.pendingLocalFile;
                    remoteFile = state.pendingRemoteFile;
                }
                session.put(localFile, remoteFile);
            }
        } catch (const FTPException& error) {
            if (control.cancelled()) {
                return;
            }
            if (state.stopOnError) {
                {
                    std::lock_guard lock(state.mutex);
                    state.lastErrorText = error.message;
                }
                state.keepRunning.store(false, std::memory_order_release);
                return;
            }
            // A refused connection is tried again after a pause, so that a server that is
            // down is not hammered; a failed upload reconnects at once.
            if (!connectedNow) {
                if (!control.pause(pause)) {
                    return;
                }
                pause = std::min(pause * 2, state.retryPause.longest);
            }
        }
    }
}

bool FTPThread::post(const std::string& localFile, const std::string& remoteFile) {
    if (!state_->keepRunning.load(std::memory_order_acquire)) {
        return false;
    }
    if (!state_->connected.load(std::memory_order_acquire) ||
        state_->connecting.load(std::memory_order_acquire)) {
        return true;
    }
    {
        std::lock_guard lock(state_->mutex);
        state_->pendingLocalFile = localFile;
        state_->pendingRemoteFile = remoteFile;
    }
    resume();
    return true;
}

std::string FTPThread::lastError() const {
    std::lock_guard lock(state_->mutex);
    return state_->lastErrorText;
}
