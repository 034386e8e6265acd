#include "ftp/Thread.h"

#include "tests/support/Deadline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

using namespace std::chrono_literals;

namespace {

// What the worker has done, shared with the test so that it outlives the Thread object.
struct Probe {
    std::atomic<int> runs{0};
    std::atomic<int> steps{0};
    std::atomic<bool> gateOpen{true};
};

// run(): counts itself, waits for the gate (which ignores a cancel, like a blocking call that
// notices it late), then parks `parks` times, counting a step after each release.
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
        letGo();
        ++probe->runs;
        while (!probe->gateOpen) {
            std::this_thread::yield();
        }
        for (int i = 0; i < parks && control->park(); ++i) {
            ++probe->steps;
        }
    }

private:
    std::shared_ptr<Probe> probe_;
    int parks_;
};

TEST(Thread, ReleaseRightAfterTheParkDecisionIsNeverLostNorKeptForTheNextPark) {
    auto probe = std::make_shared<Probe>();
    probe->gateOpen = false;
    constexpr int parks = 2000;
    ProbeThread thread(probe, parks);
    thread.start();
    ASSERT_TRUE(waitUntil([&] { return probe->runs == 1; }));
    // A resume while the worker is busy is not kept for its next park.
    thread.resume();
    probe->gateOpen = true;
    ASSERT_TRUE(waitUntil([&] { return thread.suspended(); }));
    EXPECT_EQ(probe->steps, 0);
    // Releasing as soon as the parked flag shows hits releases that arrive before the worker
    // sleeps; a lost one would hang it.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (probe->steps < parks && std::chrono::steady_clock::now() < deadline) {
        if (thread.suspended()) {
            thread.resume();
        }
        std::this_thread::yield();
    }
    ASSERT_EQ(probe->steps, parks);
}

TEST(Thread, DestroyingAWorkerBusyBeyondACancelReturnsAndTheWorkerEndsLaterWithoutAStep) {
    auto probe = std::make_shared<Probe>();
    probe->gateOpen = false;
    auto thread = std::make_unique<ProbeThread>(probe, 1);
    const auto control = thread->control();
    thread->start();
    ASSERT_TRUE(waitUntil([&] { return probe->runs == 1; }));
    const auto begin = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    // The worker still holds its shared state.
    probe->gateOpen = true;
    EXPECT_TRUE(control->waitEnded(20s));
    EXPECT_EQ(probe->steps, 0);
}

} // namespace
