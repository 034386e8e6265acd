#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
// minimum..maximum in steps of step from minimum, or one of a menu's entries (power-line
// frequency, exposure mode, ...).
struct CameraControl {
    // An entry of a menu control: its value and its name.
    struct Choice {
        std::int32_t value = 0;
        std::string name;

        bool operator==(const Choice&) const = default;
    };
    using Choices = std::vector<Choice>;

    std::uint32_t id = 0;
    std::string name;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 1;
    std::int32_t defaultValue = 0;
    std::int32_t value = 0;
    // The entries of a menu control; empty for a number or a switch.
    Choices choices;
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

    // Tells, while the Source dialog is open, that the control at a position of its list has
    // been given a value, so the camera shows it at once.
    using ControlChanged = std::function<void(std::size_t position, std::int32_t value)>;

    // The Source dialog: the new values of controls, in their order, or nothing when the
    // user cancels. Each change is told to changed as it is made.
    virtual std::optional<std::vector<std::int32_t>>
    editControls(const std::string& device, const std::vector<CameraControl>& controls,
                 const ControlChanged& changed) = 0;
};
