#include "ftp/Thread.h"

#include "tests/support/Deadline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

using namespace std::chrono_literals;

namespace {

// What the worker has done, owned jointly by the worker and the test, so that it can be
// read after the Thread object has gone.
struct Probe {
    std::atomic<int> runs{0};
    std::atomic<int> steps{0};
    std::atomic<bool> gateOpen{true};
    std::atomic<Thread*> seenAsCurrent{nullptr};
};

// run(): counts itself, waits for the gate (which ignores the cancel, like a blocking call
// that notices it late), then parks `parks` times, counting a step after each release.
class ProbeThread final : public Thread {
public:
    ProbeThread(std::shared_ptr<Probe> probe, int parks)
        : probe_(std::move(probe))
        , parks_(parks) {}
    ~ProbeThread() override { end(); }

    void run() override {
        const auto probe = probe_;
        const auto control = this->control();
        const int parks = parks_;
        probe->seenAsCurrent = Thread::current();
        letGo();

        ++probe->runs;
        while (!probe->gateOpen) {
            std::this_thread::yield();
        }
        for (int i = 0; i < parks; ++i) {
            if (!control->park()) {
                return;
            }
            ++probe->steps;
        }
    }

private:
    std::shared_ptr<Probe> probe_;
    int parks_;
};

template <typename Action> std::chrono::milliseconds timed(Action action) {
    const auto begin = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 begin);
}

TEST(Thread, StartRightAfterConstructionRunsTheWorkOnce) {
    auto probe = std::make_shared<Probe>();
    ProbeThread thread(probe, 0);
    thread.start();
    thread.wait();
    EXPECT_EQ(probe->runs, 1);
    EXPECT_TRUE(thread.started());
    EXPECT_EQ(probe->seenAsCurrent, &thread);
}

TEST(Thread, ResumeWhileNotParkedHasNoEffectOnTheNextPark) {
    auto probe = std::make_shared<Probe>();
    probe->gateOpen = false;
    ProbeThread thread(probe, 1);
    thread.start();
    ASSERT_TRUE(waitUntil([&] { return probe->runs == 1; }));

    thread.resume();
    probe->gateOpen = true;
    ASSERT_TRUE(waitUntil([&] { return thread.suspended(); }));
    EXPECT_EQ(probe->steps, 0);

    thread.resume();
    ASSERT_TRUE(waitUntil([&] { return probe->steps == 1; }));
}

TEST(Thread, ReleaseRightAfterTheParkDecisionIsNeverLost) {
    // Releasing as soon as the parked flag shows, many times over, hits releases that
    // arrive before the worker actually sleeps; a lost one would hang the worker.
    constexpr int parks = 2000;
    auto probe = std::make_shared<Probe>();
    ProbeThread thread(probe, parks);
    thread.start();
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (probe->steps < parks && std::chrono::steady_clock::now() < deadline) {
        if (thread.suspended()) {
            thread.resume();
        }
        std::this_thread::yield();
    }
    ASSERT_EQ(probe->steps, parks);
    thread.wait();
}

TEST(Thread, DestroyingAnEndedThreadReturnsAtOnce) {
    auto probe = std::make_shared<Probe>();
    auto thread = std::make_unique<ProbeThread>(probe, 0);
    const auto control = thread->control();
    thread->start();
    ASSERT_TRUE(control->waitEnded(20s));
    EXPECT_LT(timed([&] { thread.reset(); }), 1000ms);
    EXPECT_EQ(probe->runs, 1);
}

TEST(Thread, DestroyingAParkedThreadEndsItWithoutAnotherStep) {
    auto probe = std::make_shared<Probe>();
    auto thread = std::make_unique<ProbeThread>(probe, 100);
    const auto control = thread->control();
    thread->start();
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));

    EXPECT_LT(timed([&] { thread.reset(); }), 1000ms);
    EXPECT_TRUE(control->waitEnded(20s));
    EXPECT_EQ(probe->steps, 0);
}

TEST(Thread, DestroyingAThreadNeverStartedNeverRunsIt) {
    auto probe = std::make_shared<Probe>();
    auto thread = std::make_unique<ProbeThread>(probe, 1);
    const auto control = thread->control();
    ASSERT_TRUE(waitUntil([&] { return thread->started(); }));
    thread.reset();
    EXPECT_TRUE(control->waitEnded(20s));
    EXPECT_EQ(probe->runs, 0);
}

TEST(Thread, DestroyingABusyWorkerReturnsAndTheWorkerStopsAtItsNextPark) {
    auto probe = std::make_shared<Probe>();
    probe->gateOpen = false;
    auto thread = std::make_unique<ProbeThread>(probe, 1);
    const auto control = thread->control();
    thread->start();
    ASSERT_TRUE(waitUntil([&] { return probe->runs == 1; }));

    // The worker is stuck behind the gate: the destructor gives up on it after its grace
    // and returns; the worker, still holding its shared state, ends later on its own.
    EXPECT_LT(timed([&] { thread.reset(); }), 1000ms);
    EXPECT_FALSE(control->waitEnded(0ms));
    probe->gateOpen = true;
    EXPECT_TRUE(control->waitEnded(20s));
    EXPECT_EQ(probe->steps, 0);
}

TEST(Thread, SuspendByTheWorkerParksItUntilResumed) {
    struct SelfParking final : Thread {
        std::atomic<int> released{0};
        void run() override {
            suspend();
            ++released;
        }
    };
    SelfParking thread;
    thread.start();
    ASSERT_TRUE(waitUntil([&] { return thread.suspended(); }));
    EXPECT_EQ(thread.released, 0);
    thread.resume();
    thread.wait();
    EXPECT_EQ(thread.released, 1);
}

TEST(ThreadRegistry, MainThreadIsRecordedAndReleasedWithoutWaitingOrEnding) {
    Thread::setUpRegistry();
    ASSERT_NE(Thread::mainThread(), nullptr);
    EXPECT_EQ(Thread::current(), Thread::mainThread());

    EXPECT_LT(timed([] { Thread::releaseRegistry(); }), 1000ms);
    EXPECT_EQ(Thread::mainThread(), nullptr);
    EXPECT_EQ(Thread::current(), nullptr);
}

} // namespace
