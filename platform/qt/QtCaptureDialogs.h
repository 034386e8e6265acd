#pragma once

#include "capture/CaptureDialogs.h"

class QWidget;

// The drivers' Format and Source dialogs as modal Qt dialogs: a list of frame sizes to
// choose from, and a slider with a number box for each camera setting.
class QtCaptureDialogs : public CaptureDialogs {
public:
    // owner: the window the dialogs belong to, or null for none.
    explicit QtCaptureDialogs(QWidget* owner = nullptr);

    std::optional<std::size_t> chooseFrameSize(const std::string& device,
                                               const std::vector<FrameSize>& sizes,
                                               std::size_t current) override;
    std::optional<std::vector<std::int32_t>>
    editControls(const std::string& device, const std::vector<CameraControl>& controls) override;

private:
    QWidget* owner;
};
