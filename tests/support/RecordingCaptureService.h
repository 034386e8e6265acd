#pragma once

#include "capture/CaptureService.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

// A capture-window service that records every capture message and answers from a script:
// which driver indices have descriptions, which refuse to connect, what the records hold.
class RecordingCaptureService : public CaptureService {
public:
    // One message as sent; lParam is named by what it pointed to.
    struct Sent {
        CaptureMessage message;
        std::uintptr_t wParam;
        std::string lParam; // "", "caps", "status", "parms" or the file name

        bool operator==(const Sent&) const = default;
    };

    CaptureWindow createCaptureWindow(const std::string&, std::uint32_t, int, int, int, int,
                                      const ParentWindow&, int) override {
        return window;
    }

    std::optional<std::string> getDriverDescription(std::uint32_t index,
                                                    std::size_t bufferBytes) override {
        if (index >= descriptions.size() || !descriptions[index]) {
            return std::nullopt;
        }
        return descriptions[index]->substr(0, bufferBytes - 1);
    }

    std::optional<std::uint32_t> refreshDrivers(CaptureWindow) override { return connectedIndex; }

    bool isWindow(CaptureWindow handle) override { return handle == window; }

    std::intptr_t sendMessage(CaptureWindow handle, CaptureMessage message, std::uintptr_t wParam,
                              CaptureParam lParam) override {
        EXPECT_EQ(handle, window);
        Sent entry{message, wParam, ""};
        if (auto* caps = std::get_if<DriverCaps*>(&lParam)) {
            entry.lParam = "caps";
            **caps = capsToReport;
        } else if (auto* status = std::get_if<CaptureStatus*>(&lParam)) {
            entry.lParam = "status";
            **status = statusToReport;
        } else if (std::holds_alternative<CaptureParms*>(lParam)) {
            entry.lParam = "parms";
        } else if (auto* name = std::get_if<const char*>(&lParam)) {
            entry.lParam = *name;
        }
        sent.push_back(entry);

        switch (message) {
        case CaptureMessage::WM_CAP_DRIVER_CONNECT:
            return refusing.contains(wParam) ? 0 : 1;
        case CaptureMessage::WM_CAP_FILE_SAVEDIBA:
            if (!saveFrame) {
                return 0;
            }
            saveFrame(std::get<const char*>(lParam));
            return 1;
        default:
            return 1;
        }
    }

    void resizeWindow(CaptureWindow handle, int width, int height) override {
        resized.push_back({handle, width, height});
    }

    void hookWindow(CaptureWindow handle, WindowHook) override { EXPECT_EQ(handle, window); }

    struct Resized {
        CaptureWindow window;
        int width, height;
    };

    static constexpr CaptureWindow window = 7;
    std::vector<std::optional<std::string>> descriptions;
    // The index refreshDrivers reports for the connected driver.
    std::optional<std::uint32_t> connectedIndex;
    std::set<std::uintptr_t> refusing;
    // Writes the frame file for WM_CAP_FILE_SAVEDIBA; none makes the save fail.
    std::function<void(const std::string& fileName)> saveFrame;
    DriverCaps capsToReport;
    CaptureStatus statusToReport;

    std::vector<Sent> sent;
    std::vector<Resized> resized;
};
