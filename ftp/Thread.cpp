#include "ftp/Thread.h"

#include <chrono>

namespace {
// How long the destructor lets a cancelled worker finish before going on without it.
constexpr std::chrono::milliseconds endGrace{10};
} // namespace

Thread::Thread()
    : control_(std::make_shared<ThreadControl>())
    , handle_(&Thread::entry, this, control_) {}

Thread::~Thread() {
    end();
}

void Thread::entry(Thread* self, std::shared_ptr<ThreadControl> control) {
    control->announceStarted();
    if (control->awaitStart()) {
        self->run();
    }
    control->markEnded();
}

void Thread::run() {}

void Thread::start() {
    while (!control_->started()) {
        std::this_thread::yield();
    }
    control_->release();
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
