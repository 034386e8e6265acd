#pragma once

#include "capture/CaptureDriver.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// A synthetic camera for machines without one: colour bars, a frame counter and a block
// that moves along the bottom, so any two frames differ. Frames are made on demand: one
// per grab, and one per preview interval while the preview is looked at. It has sizes to
// choose from and no settings to adjust.
class TestSource : public CaptureDriver {
public:
    static constexpr const char* name = "Test Source";

    TestSource();
    ~TestSource() override;
    TestSource(const TestSource&) = delete;
    TestSource& operator=(const TestSource&) = delete;

    const std::string& description() const override { return description_; }
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
    std::optional<Surface> grab() override;

    // The picture with this frame number at the given size.
    static Surface render(FrameSize size, std::uint64_t frameNumber);

private:
    void previewLoop(PreviewTarget& target, std::chrono::milliseconds interval);
    Surface nextFrame();

    const std::string description_ = name;
    bool open_ = false;
    mutable std::mutex mutex;
    FrameSize size{320, 240};
    std::atomic<std::uint64_t> frameCount{0};

    std::condition_variable wake;
    bool stopping = false;
    std::thread previewThread;
};
