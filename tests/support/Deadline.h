#pragma once

#include <chrono>
#include <thread>

// Polls a condition until it holds or the time limit has passed; returns whether it held.
// Tests wait with this instead of sleeping a fixed time.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    for (const auto deadline = std::chrono::steady_clock::now() + limit; !condition();
         std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
    }
    return true;
}
