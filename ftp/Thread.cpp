#include "ftp/Thread.h"

#include <chrono>
#include <new>

namespace {
// How long the destructor lets a cancelled worker finish before going on without it.
constexpr std::chrono::milliseconds endGrace{10};
} // namespace

thread_local Thread* Thread::currentThreadSlot = nullptr;
std::unique_ptr<Thread> Thread::mainThread_;

Thread::Thread()
    : control_(std::make_shared<ThreadControl>())
    , target_(this)
    , handle_(&Thread::entry, this, control_) {}

Thread::Thread(Thread* target, AdoptRunningThread)
    : control_(std::make_shared<ThreadControl>())
    , target_(target) {
    currentThreadSlot = this;
}

Thread::~Thread() {
    end();
}

void Thread::entry(Thread* self, std::shared_ptr<ThreadControl> control) {
    currentThreadSlot = self;
    control->announceStarted();
    if (control->awaitStart()) {
        self->target_->run();
    }
    currentThreadSlot = nullptr;
    control->markEnded();
}

void Thread::run() {}

void Thread::sleep(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void Thread::start() {
    while (!control_->started()) {
        std::this_thread::yield();
    }
    control_->release();
}

void Thread::wait() {
    if (handle_.joinable()) {
        handle_.join();
    }
}

void Thread::suspend() {
    control_->park();
}

void Thread::resume() {
    control_->resume();
}

void Thread::end() {
    if (!handle_.joinable()) {
        return;
    }
    control_->cancel();
    control_->waitUntilLetGo();
    if (control_->waitEnded(endGrace)) {
        handle_.join();
    } else {
        handle_.detach();
    }
}

void Thread::setUpRegistry() {
    mainThread_.reset(new (std::nothrow) Thread(nullptr, AdoptRunningThread{}));
}

void Thread::releaseRegistry() {
    if (currentThreadSlot == mainThread_.get()) {
        currentThreadSlot = nullptr;
    }
    mainThread_.reset();
}

Thread* Thread::current() {
    return currentThreadSlot;
}

Thread* Thread::mainThread() {
    return mainThread_.get();
}
