#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// The park/release and cancel state that a worker thread shares with its owner. Owner and
// worker each hold it through a shared_ptr, so a worker that is still unwinding after its
// owner has gone keeps it alive.
//
// Parking follows two rules: clearing the parked flag and issuing the release are one step
// (both under the same lock), and no release is lost: a release issued after the worker has
// decided to park but before it actually sleeps makes that park return at once. A resume is
// only issued while the worker is parked, so at most one release is ever pending.
//
// A cancel wakes every blocking point of the worker (the park until start, a park, a pause);
// each then reports false and the worker leaves without doing further work.
class ThreadControl {
public:
    // Worker side.

    // Sets the started flag; the first thing a new worker does.
    void announceStarted();
    // Parks until the owner's first release. Returns true when released, false when
    // cancelled; on true the worker may touch its owning object until it calls letGo.
    bool awaitStart();
    // Parks until released. Returns at once (true) when the worker is already marked as
    // parked. Returns false when cancelled.
    bool park();
    // Sleeps for the given time or until cancelled; returns false when cancelled.
    bool pause(std::chrono::milliseconds duration);
    // The worker no longer touches its owning object; from now on the owner may destroy it.
    void letGo();
    // The worker's last touch of this state.
    void markEnded();

    // Owner side.

    bool started() const;
    bool suspended() const;
    // Clears the parked flag and releases the worker, whatever the flag said.
    void release();
    // Releases the worker only when it is parked; otherwise does nothing.
    void resume();
    // Asks the worker to end; every blocking point of the worker wakes.
    void cancel();
    bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }
    // The cancel flag, for blocking calls that poll it (a transfer's progress callback).
    const std::atomic<bool>& cancelFlag() const { return cancelled_; }
    // Waits until the worker no longer touches its owning object. That window is short and
    // never blocks: it lasts from the release until the worker has taken what it needs.
    void waitUntilLetGo();
    // Waits until the worker has ended; returns false when it is still running at the limit.
    bool waitEnded(std::chrono::milliseconds limit);
    void waitEnded();

private:
    bool parkLocked(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool started_ = false;
    bool suspended_ = false;
    bool releasePending_ = false;
    bool touchesObject_ = false;
    bool ended_ = false;
    std::atomic<bool> cancelled_{false};
};
