#pragma once

#include <cstdint>
#include <functional>
#include <optional>

// The countdown of a running grabber, in 500 ms ticks from the grab interval down to the grab
// at zero, and what the tray icon shows on the way: the running picture after the first tick,
// a blink (the white light every other tick) over the last three seconds and the grabbing
// picture at the grab. The grabber runs while its timer does; the timer is switched through
// the function it is given, so the schedule needs no window.
class GrabSchedule {
public:
    static constexpr unsigned tickMs = 500;

    // Switches the timer that ticks every tickMs on (true) or off (false); returns whether it
    // did.
    using TimerSwitch = std::function<bool(bool on)>;

    // What one tick asks for: the tray picture to show now, if it changes, and whether a
    // frame is grabbed now.
    struct Tick {
        std::optional<int> icon;
        bool grab = false;
    };

    explicit GrabSchedule(TimerSwitch timer);

    // The interval of the update setting, in seconds: an interval of 0 would make the
    // countdown step past zero and never grab, so it counts as 1 s.
    static std::uint32_t intervalFor(std::uint32_t updateSeconds);

    // (Re)starts the timer and counts down from fromMs, which also becomes the interval.
    // Returns whether the grabber runs.
    bool start(std::uint32_t fromMs);
    // Returns whether the grabber is stopped afterwards.
    bool stop();
    // start, only while running.
    void restart(std::uint32_t fromMs);
    bool running() const { return running_; }
    std::uint32_t intervalMs() const { return intervalMs_; }
    // What is left of the countdown to the next grab.
    std::uint32_t countdownMs() const { return countdownMs_; }
    // One timer tick. A grab starts the next countdown from the full interval.
    Tick tick();

private:
    TimerSwitch timer_;
    // Compared for equality only, so arithmetic modulo 2^32 is fine.
    std::uint32_t countdownMs_ = 0;
    std::uint32_t intervalMs_ = 0;
    bool running_ = false;
};
