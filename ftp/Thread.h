#pragma once

#include "ftp/ThreadControl.h"

#include <memory>
#include <thread>

// Owns one worker thread. The thread starts together with the object, announces that it
// has started and parks until the owner calls start; then it runs run() of its target, which is the
// object itself, so a subclass does its work by overriding run().
//
// Ending a worker from outside is cooperative: the destructor cancels it (every blocking
// point of the worker wakes and leaves), gives it about 10 ms to end, and returns; a worker
// that is still unwinding then goes on detached, touching only state it owns jointly with
// its owner, and runs no further step of its work.
//
// Rules for a subclass whose worker may outlive the object: run() copies the shared_ptrs
// it needs (its own state and control()), calls letGo(), and from then on touches nothing
// of the object; the subclass is final and its destructor calls end() first, before its
// members go and before any base destructor changes the object's dynamic type under the
// worker's feet.
class Thread {
public:
    // Creates the worker thread, which runs at once and parks until start().
    Thread();
    virtual ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // The work of the thread; the base does nothing.
    virtual void run();
    // Waits, yielding, until the worker has started, then releases it into run().
    virtual void start();
    // Releases the worker if it is parked; otherwise does nothing.
    virtual void resume();

    bool started() const { return control_->started(); }
    bool suspended() const { return control_->suspended(); }
    // The state shared with the worker. It outlives the object as long as someone holds
    // it, so an owner can see when a worker let go by the destructor has really ended.
    const std::shared_ptr<ThreadControl>& control() const { return control_; }

protected:
    // Called by the worker inside run() once it no longer touches this object.
    void letGo() { control_->letGo(); }
    // Cancels the worker, waits about 10 ms for it to end and lets it go on detached if it
    // has not. Does nothing for a thread already ended this way.
    void end();

private:
    static void entry(Thread* self, std::shared_ptr<ThreadControl> control);

    std::shared_ptr<ThreadControl> control_;
    std::thread handle_;
};
