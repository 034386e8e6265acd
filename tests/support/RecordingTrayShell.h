#pragma once

#include "platform/TrayShell.h"
#include "tests/support/CallLog.h"

#include <functional>
#include <string>
#include <vector>

// A notification area that records each call with the record as it was at that moment.
class RecordingTrayShell : public TrayShell {
public:
    struct Call {
        std::int32_t action;
        TrayIconData data;
    };

    explicit RecordingTrayShell(CallLog* log = nullptr)
        : log(log) {}

    bool notify(std::int32_t action, const TrayIconData& data) override {
        if (onNotify) {
            onNotify(action);
        }
        calls.push_back({action, data});
        if (log) {
            log->add("tray " + std::to_string(action) + " icon " + std::to_string(data.icon) +
                     " flags " + std::to_string(data.flags));
        }
        return true;
    }

    // Calls since the last take, which are then dropped.
    std::vector<Call> take() {
        std::vector<Call> taken;
        taken.swap(calls);
        return taken;
    }

    std::vector<Call> calls;
    // Runs at each call before it is recorded, to look at the world at that moment.
    std::function<void(std::int32_t action)> onNotify;

private:
    CallLog* log;
};
