#pragma once

#include "base/HealthLine.h"
#include "capture/CaptureDriver.h"
#include "capture/FrameListener.h"
#include "capture/v4l2/V4l2Device.h"
#include "capture/v4l2/V4l2Formats.h"
#include "capture/v4l2/V4l2Stream.h"

#include <linux/videodev2.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A V4L2 camera. While open it streams in the camera's own pixel format through
// memory-mapped buffers on a thread of its own, which dequeues every frame, converts only
// the ones that are used (the frame a grab waits for; a preview frame when one is due and
// somebody looks, made smaller where the preview is; every frame while the machine's frame
// listener wants frames, which gets an MJPEG camera's frames as they are, unconverted) into
// 24-bit surfaces, and queues the buffer again; a hidden program converts nothing between
// its grabs. It streams (a V4l2Stream) in the format V4l2Formats chooses for the size asked
// for. The Format dialog chooses among the sizes of the camera's formats, the Source dialog
// edits its controls. A damaged frame is dropped; a camera that stops delivering makes
// grabs fail after grabTimeout.
//
// The camera is known by who it is, not by its node. When it is lost (unplugged, or no
// frame for stallLimit), its thread closes it, tells the health line and the frame
// listener, and looks for it among the video nodes again, firstRetry later and then at
// pauses that double up to longestRetry. Wherever it comes back, it streams again at the
// same size and frame period with the controls set here, and the preview goes on; grabs
// fail at once while it is away.
class V4l2Camera : public CaptureDriver {
public:
    // Who a camera is: its card name, its bus, and the stable name of its node, if any.
    struct Identity {
        std::string card;
        std::string bus;
        std::string stableName;

        static Identity of(const v4l2_capability& capability, const std::string& stableName);
        // The same card on the same bus, or under the same stable name (which holds a
        // serial number where the camera has one, so it follows the camera to another
        // port). An identical camera elsewhere has neither.
        bool isSameCamera(const Identity& other) const;
    };

    struct Timing {
        std::chrono::milliseconds grabTimeout{3000};
        std::chrono::milliseconds stallLimit{10000};
        std::chrono::milliseconds firstRetry{2000};
        std::chrono::milliseconds longestRetry{30000};
    };

    // What a camera needs of the machine: its video nodes, opening one, the health line
    // it tells when it is lost and back, its timing, and who else may want its frames.
    struct Machine {
        V4l2NodeLister nodes;
        V4l2Opener open;
        std::shared_ptr<HealthLine> health;
        Timing timing;
        FrameListener* frames = nullptr;
    };

    static constexpr HealthWords healthWords{"camera", "lost", "back"};

    // A camera last seen at path.
    V4l2Camera(std::string path, Identity identity, std::string description, Machine machine);
    ~V4l2Camera() override;
    V4l2Camera(const V4l2Camera&) = delete;
    V4l2Camera& operator=(const V4l2Camera&) = delete;

    // The cameras among the machine's nodes (those that can capture video by streaming),
    // numbered in that order. Each is described by its card name, followed by its bus in
    // brackets when another camera has the same name.
    static std::vector<std::unique_ptr<V4l2Camera>> findCameras(const Machine& machine);

    const std::string& description() const override { return description_; }
    bool isSameDevice(const CaptureDriver& other) const override;
    std::optional<RememberedCamera::Identity> identity() const override;
    bool open() override;
    void close() override;
    // Open also while the camera is away and being looked for.
    bool isOpen() const override { return inUse_; }
    FrameSize frameSize() const override;
    std::vector<FrameSize> frameSizes() const override;
    bool setFrameSize(FrameSize newSize) override;
    std::vector<CameraControl> controls() const override;
    bool setControl(std::uint32_t id, std::int32_t value) override;
    void setFramePeriod(std::chrono::microseconds period) override;
    void startPreview(PreviewTarget& target, std::chrono::milliseconds interval) override;
    void stopPreview() override;
    bool grab(std::optional<Surface>& frame) override;

private:
    // The steps of a camera's life: find its node; open it and learn its formats; set
    // format, size and frame period; stream, until the stream goes; close. All but the first run
    // under deviceMutex_, on the user interface thread or, while it runs, the camera's thread.
    std::unique_ptr<V4l2Device> findDevice(std::string& foundPath);
    void openDevice(std::unique_ptr<V4l2Device> found, std::string foundPath);
    bool configure(FrameSize wanted);
    bool startStreaming();
    void closeDevice();
    void restoreControls();
    CameraControl::Choices menuChoices(const v4l2_queryctrl& query) const;
    void applyFramePeriod();

    // The camera's thread: streams, and when the camera is lost, gets it back.
    void startThread();
    void stopThread();
    void run();
    // Streams until stopped (false) or the camera is lost (true, the device closed).
    bool keepStreaming();
    // Why the stream ended: the camera is lost, or nothing when it was stopped.
    std::optional<std::string> streamLoop(std::chrono::milliseconds timeout);
    // Looks for the camera at growing pauses until it is back (true) or stopped (false).
    bool comeBack();
    // Opens the camera and streams, with what was set here; false when it is not there.
    bool bringUp(FrameSize wanted);
    void deliver(const std::uint8_t* data, std::size_t bytesUsed);
    // Whether the frame listener wants the frame as pixels; an MJPEG frame it takes as it is.
    bool offerToListener(const std::uint8_t* data, std::size_t bytesUsed);
    void tellLost(bool lost);
    bool convert(const std::uint8_t* data, std::size_t bytesUsed, int reduction,
                 std::optional<Surface>& frame);
    void markLost();

    const Identity identity_;
    const std::string description_;
    const Machine machine_;
    // Set by open, cleared by close; the user interface thread's own.
    bool inUse_ = false;
    // Why findDevice did not find the camera: the error of opening its last node, or ENODEV;
    // 0 when it found it.
    int notFoundBecause_ = 0;

    // The device, its stream and what was learnt of it, replaced by the camera's thread when
    // it gets the camera back; the size, frame period and controls to give it.
    mutable std::mutex deviceMutex_;
    std::string path_;
    std::unique_ptr<V4l2Device> device_;
    // After the device it streams from, so that it goes first.
    std::unique_ptr<V4l2Stream> stream_;
    V4l2Formats formats_;
    FrameSize size_;
    // What the device streams; read by the camera's thread while it streams.
    v4l2_pix_format format_{};
    std::chrono::microseconds framePeriod_{66667};
    std::map<std::uint32_t, std::int32_t> controlValues_;
    std::thread cameraThread_;

    // The camera thread's own: the preview frame's memory, and whether a frame that could
    // not be converted has been reported.
    std::optional<Surface> previewFrame_;
    bool damageReported_ = false;

    // Shared with the camera's thread.
    std::mutex mutex_;
    std::condition_variable frameReady_;
    // Wakes the thread from a pause between its tries.
    std::condition_variable stopRequested_;
    bool stopping_ = false;
    bool lost_ = false;
    bool grabWanted_ = false;
    std::optional<Surface> grabbed_;

    // Held while a preview frame is handed over, so stopPreview waits for it.
    std::mutex previewMutex_;
    PreviewTarget* previewTarget_ = nullptr;
    std::chrono::milliseconds previewInterval_{0};
    std::chrono::steady_clock::time_point nextPreview_;
};
