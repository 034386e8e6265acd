#pragma once

#include "base/Surface.h"
#include "capture/CaptureDialogs.h"
#include "settings/RememberedCamera.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One capture device as the capture-window service drives it: a camera or the test
// source. Frames are 24-bit surfaces (blue first, bottom-up rows), the layout of a DIB.
// All operations are called from one thread (the user interface thread); a driver may
// run threads of its own inside.
class CaptureDriver {
public:
    // Where preview frames go. Called on the driver's own thread.
    class PreviewTarget {
    public:
        virtual ~PreviewTarget() = default;
        // Whether a frame would be looked at now; a driver makes none while it is not.
        virtual bool wantsFrames() const = 0;
        virtual void showFrame(const Surface& frame) = 0;
        // The size frames are stretched to when shown, or nothing when they are shown as
        // they come; a driver may hand over smaller frames, down to this size, where that
        // costs less.
        virtual std::optional<FrameSize> stretchedSize() const { return std::nullopt; }
    };

    virtual ~CaptureDriver() = default;

    virtual const std::string& description() const = 0;
    // Whether other is this same device, found again: a camera by who it is, not by the node
    // it happens to sit on.
    virtual bool isSameDevice(const CaptureDriver& other) const = 0;
    // Who the device is, for the settings kept for it; nothing for a device that keeps none.
    virtual std::optional<RememberedCamera::Identity> identity() const { return std::nullopt; }

    // Opens the device and starts it; false when it cannot be used.
    virtual bool open() = 0;
    // Stops and releases the device; nothing happens when it is not open.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // The size of the frames the device delivers, and the sizes it can deliver.
    virtual FrameSize frameSize() const = 0;
    virtual std::vector<FrameSize> frameSizes() const = 0;
    // Switches to one of frameSizes(); false when the device refuses it.
    virtual bool setFrameSize(FrameSize size) = 0;

    // The device's adjustable settings with their current values; empty when it has none.
    virtual std::vector<CameraControl> controls() const = 0;
    virtual bool setControl(std::uint32_t id, std::int32_t value) = 0;

    // The time the device should take per frame; a device may not honour it.
    virtual void setFramePeriod(std::chrono::microseconds period) = 0;

    // Hands frames to target, at most one per interval, until stopPreview; target must
    // stay alive until then. Survives setFrameSize.
    virtual void startPreview(PreviewTarget& target, std::chrono::milliseconds interval) = 0;
    virtual void stopPreview() = 0;

    // Puts the next frame the device makes after this call into frame, reusing its memory
    // where it can. False, leaving frame empty, when none comes in time (a stalled or
    // unplugged device) or the device is not open.
    virtual bool grab(std::optional<Surface>& frame) = 0;
};
