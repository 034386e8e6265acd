#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A frame size a camera can deliver, in pixels.
struct FrameSize {
    int width = 0;
    int height = 0;

    bool operator==(const FrameSize&) const = default;
};

// One adjustable setting of a camera (brightness, contrast, ...): an integer in
// minimum..maximum in steps of step from minimum.
struct CameraControl {
    std::uint32_t id = 0;
    std::string name;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 1;
    std::int32_t defaultValue = 0;
    std::int32_t value = 0;
};

// How the drivers' own dialogs ask the user; the window system provides the realisation.
// Both are modal and run on the user interface thread.
class CaptureDialogs {
public:
    virtual ~CaptureDialogs() = default;

    // The Format dialog: one of sizes (current is the position of the size in use), or
    // nothing when the user cancels.
    virtual std::optional<std::size_t> chooseFrameSize(const std::string& device,
                                                       const std::vector<FrameSize>& sizes,
                                                       std::size_t current) = 0;

    // The Source dialog: the new values of controls, in their order, or nothing when the
    // user cancels.
    virtual std::optional<std::vector<std::int32_t>>
    editControls(const std::string& device, const std::vector<CameraControl>& controls) = 0;
};
