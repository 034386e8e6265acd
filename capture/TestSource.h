#pragma once

#include "capture/CaptureDriver.h"
#include "capture/FrameListener.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// A synthetic camera for machines without one: colour bars, a frame counter and a block
// that moves along the bottom, so any two frames differ. Frames are made on demand: one
// per grab, and one per preview interval while the preview is on and looked at or the
// frame listener, when there is one, wants frames (it gets the same frame). It has sizes
// to choose from and no settings to adjust.
class TestSource : public CaptureDriver {
public:
    static constexpr const char* name = "Test Source";

    explicit TestSource(FrameListener* listener = nullptr);
    ~TestSource() override;
    TestSource(const TestSource&) = delete;
    TestSource& operator=(const TestSource&) = delete;

    const std::string& description() const override { return description_; }
    // There is only one test source.
    bool isSameDevice(const CaptureDriver& other) const override {
        return dynamic_cast<const TestSource*>(&other) != nullptr;
    }
    std::optional<RememberedCamera::Identity> identity() const override {
        return RememberedCamera::Identity{name, "", ""};
    }
    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    FrameSize frameSize() const override;
    std::vector<FrameSize> frameSizes() const override;
    bool setFrameSize(FrameSize size) override;
    std::vector<CameraControl> controls() const override { return {}; }
    bool setControl(std::uint32_t, std::int32_t) override { return false; }
    // Frames are made when they are wanted, so there is no frame period to keep.
    void setFramePeriod(std::chrono::microseconds) override {}
    void startPreview(PreviewTarget& target, std::chrono::milliseconds interval) override;
    void stopPreview() override;
    bool grab(std::optional<Surface>& frame) override;

    // The picture with this frame number at the given size.
    static Surface render(FrameSize size, std::uint64_t frameNumber);
    // Draws that picture over every pixel of frame, at the frame's size.
    static void renderInto(Surface& frame, std::uint64_t frameNumber);

private:
    void previewLoop();
    void endPreviewThread();

    const std::string description_ = name;
    FrameListener* const listener_;
    bool open_ = false;
    std::atomic<std::uint64_t> frameCount_{0};

    // Shared with the preview thread. The thread lives from the first preview to close,
    // so a grab, which pauses the preview, costs no thread start.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    FrameSize size_{320, 240};
    PreviewTarget* target_ = nullptr;
    std::chrono::milliseconds interval_{0};
    std::uint64_t previewChanges_ = 0;
    bool ending_ = false;
    // Held while a frame is handed to the target, so stopPreview can wait for it.
    std::mutex deliveryMutex_;
    std::thread previewThread_;
};
