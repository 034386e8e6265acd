#pragma once

#include "capture/CaptureDialogs.h"

#include <functional>

// Dialogs answered by the test: each answer is a function of what the dialog shows.
class ScriptedCaptureDialogs : public CaptureDialogs {
public:
    std::optional<std::size_t> chooseFrameSize(const std::string& device,
                                               const std::vector<FrameSize>& sizes,
                                               std::size_t current) override {
        ++formatDialogs;
        shownDevice = device;
        shownSizes = sizes;
        shownCurrent = current;
        return chooseSize ? chooseSize(sizes) : std::nullopt;
    }

    std::optional<std::vector<std::int32_t>>
    editControls(const std::string& device, const std::vector<CameraControl>& controls) override {
        ++sourceDialogs;
        shownDevice = device;
        shownControls = controls;
        return edit ? edit(controls) : std::nullopt;
    }

    std::function<std::optional<std::size_t>(const std::vector<FrameSize>&)> chooseSize;
    std::function<std::optional<std::vector<std::int32_t>>(const std::vector<CameraControl>&)> edit;

    int formatDialogs = 0;
    int sourceDialogs = 0;
    std::string shownDevice;
    std::vector<FrameSize> shownSizes;
    std::size_t shownCurrent = 0;
    std::vector<CameraControl> shownControls;
};
