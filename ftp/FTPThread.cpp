#include "ftp/FTPThread.h"

#include "base/Exception.h"
#include "ftp/UploadSession.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

// Everything the worker uses lives here, owned jointly by the object and the worker, so
// that a worker still unwinding after the object has gone touches nothing released.
struct FTPThread::State {
    // A copy of the FTP settings, made once at construction.
    FtpLogin login;
    RetryPause retryPause;
    std::shared_ptr<HealthLine> health;

    std::atomic<bool> connected{false};
    std::atomic<bool> keepRunning{true};
    std::atomic<bool> connecting{false};

    // Guards the pending names and the error text; never held while connecting or
    // uploading.
    mutable std::mutex mutex;
    std::string pendingLocalFile;
    std::string pendingRemoteFile;
    std::string lastErrorText;
    // The archive's pictures waiting, oldest first. While the worker stores them, a newest
    // file posted waits for it in pending (newestWaiting) instead of waking it.
    std::deque<FTPThread::Upload> archive;
    bool storingArchive = false;
    bool newestWaiting = false;
    // A picture of the archive was refused on this connection: the rest wait for the next.
    bool archiveHeld = false;
};

FTPThread::FTPThread(FtpLogin login, std::shared_ptr<HealthLine> health, RetryPause retryPause)
    : state_(std::make_shared<State>()) {
    state_->login = std::move(login);
    state_->retryPause = retryPause;
    state_->health = std::move(health);
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
    std::unique_ptr<UploadSession> session;
    // A file whose store failed because the kept connection was gone: it goes again, at
    // once, over the fresh connection made for it.
    std::optional<Upload> again;
    while (state.keepRunning.load(std::memory_order_acquire) && !control.cancelled()) {
        if (!session) {
            session = connect(state, control);
            if (!session) {
                again.reset();
                // A server that is down is not hammered.
                if (!state.keepRunning.load(std::memory_order_acquire) || !control.pause(pause)) {
                    return;
                }
                pause = std::min(pause * 2, state.retryPause.longest);
                continue;
            }
            pause = state.retryPause.first;
            state.archiveHeld = false;
        }

        const bool fresh = again.has_value();
        Upload upload;
        if (fresh) {
            upload = std::move(*again);
            again.reset();
        } else {
            state.connecting.store(false, std::memory_order_release);
            if (!takeNewest(state, control, upload)) {
                return;
            }
        }

        try {
            session->put(upload.localFile, upload.remoteFile);
            state.health->succeeded();
            if (!storeArchive(state, *session, control)) {
                session.reset();
            }
        } catch (const FTPException& error) {
            if (control.cancelled()) {
                return;
            }
            const bool open = session->isOpen();
            if (!open && !fresh) {
                // Most likely the server closed the connection while it was idle.
                again = std::move(upload);
                session.reset();
                continue;
            }
            if (!fail(state, error.message, session->failureReason())) {
                return;
            }
            // A connection on which the server refused this file takes the next one; a lost
            // one is made again at once.
            if (!open) {
                session.reset();
            }
        }
    }
}

std::unique_ptr<UploadSession> FTPThread::connect(State& state, ThreadControl& control) {
    state.connecting.store(true, std::memory_order_release);
    auto session = UploadSession::make(state.login.address.protocol(), &control.cancelFlag());
    try {
        session->connect(state.login);
    } catch (const FTPException& error) {
        if (!control.cancelled()) {
            fail(state, error.message, session->failureReason());
        }
        return nullptr;
    }
    state.connected.store(true, std::memory_order_release);
    return session;
}

bool FTPThread::fail(State& state, const std::string& message, const std::string& reason) {
    state.health->failed(reason);
    if (!state.login.stopOnError) {
        return true;
    }
    {
        std::lock_guard lock(state.mutex);
        state.lastErrorText = message;
    }
    state.keepRunning.store(false, std::memory_order_release);
    return false;
}

// The newest file, at once when it waits, else once post() wakes the parked worker; false
// when the worker is cancelled instead.
bool FTPThread::takeNewest(State& state, ThreadControl& control, Upload& upload) {
    std::unique_lock lock(state.mutex);
    if (!std::exchange(state.newestWaiting, false)) {
        lock.unlock();
        if (!control.park()) {
            return false;
        }
        lock.lock();
    }
    upload = {state.pendingLocalFile, state.pendingRemoteFile};
    return true;
}

bool FTPThread::storeArchive(State& state, UploadSession& session, ThreadControl& control) {
    while (!control.cancelled()) {
        Upload upload;
        {
            std::lock_guard lock(state.mutex);
            state.storingArchive =
                !state.newestWaiting && !state.archiveHeld && !state.archive.empty();
            if (!state.storingArchive) {
                return true;
            }
            upload = state.archive.front();
        }
        const bool stored = session.putArchived(upload.localFile, upload.remoteFile);
        if (!stored) {
            state.health->failed(session.failureReason());
        }
        std::lock_guard lock(state.mutex);
        if (stored && !state.archive.empty() &&
            state.archive.front().localFile == upload.localFile) {
            state.archive.pop_front();
        }
        if (!stored) {
            state.storingArchive = false;
            state.archiveHeld = true;
            return session.isOpen();
        }
    }
    return true;
}

void FTPThread::postArchive(const std::string& localFile, const std::string& remoteFile) {
    std::lock_guard lock(state_->mutex);
    state_->archive.push_back({localFile, remoteFile});
    if (state_->archive.size() > maxArchiveWaiting) {
        state_->archive.pop_front();
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
        if (state_->storingArchive) {
            state_->newestWaiting = true;
            return true;
        }
    }
    resume();
    return true;
}

std::string FTPThread::lastError() const {
    std::lock_guard lock(state_->mutex);
    return state_->lastErrorText;
}
