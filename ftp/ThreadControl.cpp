#include "ftp/ThreadControl.h"

void ThreadControl::announceStarted() {
    std::lock_guard lock(mutex_);
    started_ = true;
    changed_.notify_all();
}

bool ThreadControl::awaitStart() {
    std::unique_lock lock(mutex_);
    if (!parkLocked(lock)) {
        return false;
    }
    touchesObject_ = true;
    return true;
}

bool ThreadControl::park() {
    std::unique_lock lock(mutex_);
    return parkLocked(lock);
}

bool ThreadControl::parkLocked(std::unique_lock<std::mutex>& lock) {
    if (cancelled()) {
        return false;
    }
    if (suspended_) {
        return true;
    }
    suspended_ = true;
    changed_.wait(lock, [this] { return releasePending_ || cancelled(); });
    // A release issued before this park cleared the flag before it was set here.
    suspended_ = false;
    releasePending_ = false;
    return !cancelled();
}

bool ThreadControl::pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return cancelled(); });
}

void ThreadControl::letGo() {
    std::lock_guard lock(mutex_);
    touchesObject_ = false;
    changed_.notify_all();
}

void ThreadControl::markEnded() {
    std::lock_guard lock(mutex_);
    touchesObject_ = false;
    ended_ = true;
    changed_.notify_all();
}

bool ThreadControl::started() const {
    std::lock_guard lock(mutex_);
    return started_;
}

bool ThreadControl::suspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

void ThreadControl::release() {
    std::lock_guard lock(mutex_);
    suspended_ = false;
    releasePending_ = true;
    changed_.notify_all();
}

void ThreadControl::resume() {
    std::lock_guard lock(mutex_);
    if (suspended_) {
        suspended_ = false;
        releasePending_ = true;
        changed_.notify_all();
    }
}

void ThreadControl::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_.store(true, std::memory_order_release);
    changed_.notify_all();
}

void ThreadControl::waitUntilLetGo() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !touchesObject_; });
}

bool ThreadControl::waitEnded(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return ended_; });
}

void ThreadControl::waitEnded() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ended_; });
}
