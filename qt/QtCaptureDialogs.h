#pragma once

#include "capture/CaptureDialogs.h"

#include <functional>

class QWidget;

// The drivers' Format and Source dialogs as modal Qt dialogs: a list of frame sizes to
// choose from, and a slider with a number box for each camera setting (a list of its
// entries for a menu), which the camera follows as it is moved.
class QtCaptureDialogs : public CaptureDialogs {
public:
    // owner: tells, as each dialog opens, the window it belongs to (null for none); the
    // window system keeps the dialog above that window.
    explicit QtCaptureDialogs(std::function<QWidget*()> owner = {});

    std::optional<std::size_t> chooseFrameSize(const std::string& device,
                                               const std::vector<FrameSize>& sizes,
                                               std::size_t current) override;
    std::optional<std::vector<std::int32_t>>
    editControls(const std::string& device, const std::vector<CameraControl>& controls,
                 const ControlChanged& changed) override;

private:
    QWidget* currentOwner() const;

    std::function<QWidget*()> owner_;
};
