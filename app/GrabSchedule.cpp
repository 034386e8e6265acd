#include "app/GrabSchedule.h"

#include "res/Icons.h"

#include <utility>

GrabSchedule::GrabSchedule(TimerSwitch timer)
    : timer_(std::move(timer)) {}

std::uint32_t GrabSchedule::intervalFor(std::uint32_t updateSeconds) {
    return (updateSeconds == 0 ? 1 : updateSeconds) * 1000u;
}

bool GrabSchedule::start(std::uint32_t fromMs) {
    if (running_) {
        stop();
    }
    if (timer_(true)) {
        countdownMs_ = fromMs;
        intervalMs_ = fromMs;
        running_ = true;
    }
    return running_;
}

bool GrabSchedule::stop() {
    if (timer_(false)) {
        running_ = false;
        countdownMs_ = 0;
        intervalMs_ = 0;
    }
    return !running_;
}

void GrabSchedule::restart(std::uint32_t fromMs) {
    if (running_) {
        start(fromMs);
    }
}

GrabSchedule::Tick GrabSchedule::tick() {
    countdownMs_ -= tickMs;
    Tick tick;
    if (countdownMs_ == intervalMs_ - tickMs) {
        tick.icon = runningIconId;
    }
    switch (countdownMs_) {
    case 0:
        tick.icon = grabbingIconId;
        tick.grab = true;
        countdownMs_ = intervalMs_;
        break;
    case 500:
    case 1500:
    case 2500:
        tick.icon = runningIconId;
        break;
    case 1000:
    case 2000:
    case 3000:
        tick.icon = blinkIconId;
        break;
    default:
        break;
    }
    return tick;
}
