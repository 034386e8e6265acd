#pragma once

#include "platform/TrayShell.h"

#include <string>
#include <utility>
#include <vector>

// A notification area that records each call with the record as it was at that moment.
class RecordingTrayShell : public TrayShell {
public:
    struct Call {
        std::int32_t action;
        TrayIconData data;
    };

    bool notify(std::int32_t action, const TrayIconData& data) override {
        calls.push_back({action, data});
        return true;
    }
    bool available() const override { return present; }
    void showMessage(const std::string& title, const std::string& text) override {
        messages.push_back(title + "|" + text);
    }
    // Calls since the last take, which are then dropped.
    std::vector<Call> take() { return std::exchange(calls, {}); }

    std::vector<Call> calls;
    bool present = true;
    std::vector<std::string> messages;
};
