#pragma once

#include "platform/WindowTypes.h"

#include <cstdint>
#include <ostream>
#include <vector>

// One message a window procedure received.
struct RecordedMessage {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;

    bool operator==(const RecordedMessage&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const RecordedMessage& m) {
    return out << "{" << m.message << ", " << m.wParam << ", " << m.lParam << "}";
}

// A window procedure that records every message and handles none.
struct MessageRecorder {
    std::vector<RecordedMessage> messages;

    WindowProcedure procedure() {
        return [this](std::uint32_t message, std::uintptr_t wParam,
                      std::intptr_t lParam) -> std::optional<std::intptr_t> {
            messages.push_back({message, wParam, lParam});
            return std::nullopt;
        };
    }

    std::vector<RecordedMessage> only(std::uint32_t message) const {
        std::vector<RecordedMessage> found;
        for (const RecordedMessage& m : messages) {
            if (m.message == message) {
                found.push_back(m);
            }
        }
        return found;
    }
};
