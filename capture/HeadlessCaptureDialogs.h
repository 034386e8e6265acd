#pragma once

#include "capture/CaptureDialogs.h"

// The drivers' dialogs where nobody can answer them: every dialog is cancelled at once.
class HeadlessCaptureDialogs : public CaptureDialogs {
public:
    std::optional<std::size_t> chooseFrameSize(const std::string&, const std::vector<FrameSize>&,
                                               std::size_t) override {
        return std::nullopt;
    }
    std::optional<std::vector<std::int32_t>> editControls(const std::string&,
                                                          const std::vector<CameraControl>&,
                                                          const ControlChanged&) override {
        return std::nullopt;
    }
};
