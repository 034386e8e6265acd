#pragma once

#include "capture/CaptureDriver.h"
#include "capture/V4l2Device.h"

#include <linux/videodev2.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A V4L2 camera. While open it streams in the camera's own pixel format through
// memory-mapped buffers on a thread of its own, which dequeues every frame, converts only
// the ones that are used (the frame a grab waits for; a preview frame when one is due and
// somebody looks, made smaller where the preview is) into 24-bit surfaces, and queues the
// buffer again; a hidden program converts nothing between its grabs. It prefers MJPEG,
// then YUYV, then whatever libv4lconvert can turn into 24-bit frames, taking the first that
// delivers the size asked for. The Format dialog chooses among the sizes of these formats,
// the Source dialog edits the camera's controls. A damaged frame is dropped; a camera that
// stops delivering, or is unplugged, makes grabs fail after grabTimeout.
class V4l2Camera : public CaptureDriver {
public:
    static constexpr std::chrono::milliseconds defaultGrabTimeout{3000};
    static constexpr std::uint32_t bufferCount = 4;

    V4l2Camera(std::string path, std::string description, V4l2Opener opener,
               std::chrono::milliseconds grabTimeout = defaultGrabTimeout);
    ~V4l2Camera() override;
    V4l2Camera(const V4l2Camera&) = delete;
    V4l2Camera& operator=(const V4l2Camera&) = delete;

    // The cameras among nodes (those that can capture video by streaming), numbered in
    // that order. Each is described by its card name, followed by its bus in brackets
    // when another camera has the same name.
    static std::vector<std::unique_ptr<CaptureDriver>>
    findCameras(const std::vector<std::string>& nodes, const V4l2Opener& opener,
                std::chrono::milliseconds grabTimeout = defaultGrabTimeout);

    const std::string& description() const override { return description_; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return device != nullptr; }
    FrameSize frameSize() const override { return size; }
    std::vector<FrameSize> frameSizes() const override { return sizes; }
    bool setFrameSize(FrameSize newSize) override;
    std::vector<CameraControl> controls() const override;
    bool setControl(std::uint32_t id, std::int32_t value) override;
    void setFramePeriod(std::chrono::microseconds period) override;
    void startPreview(PreviewTarget& target, std::chrono::milliseconds interval) override;
    void stopPreview() override;
    bool grab(std::optional<Surface>& frame) override;

private:
    // One of the camera's own pixel formats with the sizes it delivers in it.
    struct OwnFormat {
        std::uint32_t pixelFormat;
        std::vector<FrameSize> sizes;
    };

    // The steps of a camera's life: open the node and learn its formats; set format, size
    // and frame period; stream; stop streaming; close.
    bool openDevice();
    bool configure(FrameSize wanted);
    bool startStreaming();
    void stopStreaming();
    void closeDevice();

    std::vector<OwnFormat> enumerateFormats();
    std::vector<FrameSize> enumerateSizes(std::uint32_t pixelFormat);
    std::optional<v4l2_pix_format> chooseFormat(FrameSize wanted);
    void applyFramePeriod();
    void streamLoop(std::chrono::milliseconds timeout);
    void deliver(const std::uint8_t* data, std::size_t bytesUsed);
    bool convert(const std::uint8_t* data, std::size_t bytesUsed, int reduction,
                 std::optional<Surface>& frame);
    void markLost();

    const std::string path;
    const std::string description_;
    const V4l2Opener opener;
    const std::chrono::milliseconds grabTimeout;

    std::unique_ptr<V4l2Device> device;
    std::vector<std::unique_ptr<V4l2Device::Mapping>> buffers;
    // In order of preference.
    std::vector<OwnFormat> formats;
    std::vector<FrameSize> sizes;
    FrameSize size;
    // What the device streams; read by the stream thread while it runs.
    v4l2_pix_format format{};
    std::chrono::microseconds framePeriod{66667};
    std::thread streamThread;

    // The stream thread's own: the preview frame's memory, and whether a frame that could
    // not be converted has been reported.
    std::optional<Surface> previewFrame;
    bool damageReported = false;

    // Shared with the stream thread.
    std::mutex mutex;
    std::condition_variable frameReady;
    bool stopping = false;
    bool lost = false;
    bool grabWanted = false;
    std::optional<Surface> grabbed;

    // Held while a preview frame is handed over, so stopPreview waits for it.
    std::mutex previewMutex;
    PreviewTarget* previewTarget = nullptr;
    std::chrono::milliseconds previewInterval{0};
    std::chrono::steady_clock::time_point nextPreview;
};
