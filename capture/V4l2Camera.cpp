#include "capture/V4l2Camera.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

// A stream whose requests fail this many times in a row, without a buffer dequeued in
// between, is taken as lost instead of being retried for ever.
constexpr int maxFailuresInARow = 10;

// Sizes offered for a camera that takes any size within a range.
const std::vector<FrameSize> commonSizes = {{160, 120},  {176, 144},  {320, 240},  {352, 288},
                                            {640, 480},  {800, 600},  {1024, 768}, {1280, 720},
                                            {1280, 960}, {1920, 1080}};

void logFailure(const std::string& path, const char* what, int error) {
    std::fprintf(stderr, "v4l2: %s: %s: %s\n", path.c_str(), what, std::strerror(error));
}

std::string text(const std::uint8_t* bytes, std::size_t size) {
    const auto* begin = reinterpret_cast<const char*>(bytes);
    return std::string(begin, strnlen(begin, size));
}

bool fitsStep(std::uint32_t value, std::uint32_t minimum, std::uint32_t maximum,
              std::uint32_t step) {
    return value >= minimum && value <= maximum && (step == 0 || (value - minimum) % step == 0);
}

} // namespace

V4l2Camera::V4l2Camera(std::string path, std::string description, V4l2Opener opener,
                       std::chrono::milliseconds grabTimeout)
    : path(std::move(path))
    , description_(std::move(description))
    , opener(std::move(opener))
    , grabTimeout(grabTimeout) {}

V4l2Camera::~V4l2Camera() {
    close();
}

std::vector<std::unique_ptr<CaptureDriver>>
V4l2Camera::findCameras(const std::vector<std::string>& nodes, const V4l2Opener& opener,
                        std::chrono::milliseconds grabTimeout) {
    struct Found {
        std::string path;
        std::string card;
        std::string bus;
    };
    std::vector<Found> found;
    for (const std::string& node : nodes) {
        const auto device = opener(node);
        v4l2_capability capability{};
        if (!device || device->request(VIDIOC_QUERYCAP, &capability) != 0) {
            continue;
        }
        const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS)
                                       ? capability.device_caps
                                       : capability.capabilities;
        if ((caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING)) {
            found.push_back({node, text(capability.card, sizeof capability.card),
                             text(capability.bus_info, sizeof capability.bus_info)});
        }
    }
    std::map<std::string, int> cardCount;
    for (const Found& camera : found) {
        ++cardCount[camera.card];
    }
    std::vector<std::unique_ptr<CaptureDriver>> cameras;
    for (const Found& camera : found) {
        std::string description = camera.card;
        if (cardCount[camera.card] > 1) {
            description += " (" + camera.bus + ")";
        }
        cameras.push_back(
            std::make_unique<V4l2Camera>(camera.path, description, opener, grabTimeout));
    }
    return cameras;
}

bool V4l2Camera::open() {
    if (device) {
        return true;
    }
    device = opener(path);
    if (!device) {
        logFailure(path, "cannot open", errno);
        return false;
    }
    sizes = enumerateSizes();
    FrameSize wanted = size;
    if (wanted.width == 0) {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device->request(VIDIOC_G_FMT, &format) == 0) {
            wanted = {static_cast<int>(format.fmt.pix.width),
                      static_cast<int>(format.fmt.pix.height)};
        }
    }
    if (!startStreaming(wanted)) {
        device.reset();
        return false;
    }
    return true;
}

void V4l2Camera::close() {
    if (!device) {
        return;
    }
    stopPreview();
    stopStreaming();
    device.reset();
}

std::vector<FrameSize> V4l2Camera::enumerateSizes() {
    std::vector<FrameSize> found;
    for (std::uint32_t index = 0;; ++index) {
        v4l2_frmsizeenum entry{};
        entry.index = index;
        entry.pixel_format = V4L2_PIX_FMT_BGR24;
        if (device->request(VIDIOC_ENUM_FRAMESIZES, &entry) != 0) {
            break;
        }
        if (entry.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            found.push_back(
                {static_cast<int>(entry.discrete.width), static_cast<int>(entry.discrete.height)});
            continue;
        }
        const auto& range = entry.stepwise;
        for (const FrameSize& common : commonSizes) {
            const auto width = static_cast<std::uint32_t>(common.width);
            const auto height = static_cast<std::uint32_t>(common.height);
            if (fitsStep(width, range.min_width, range.max_width, range.step_width) &&
                fitsStep(height, range.min_height, range.max_height, range.step_height)) {
                found.push_back(common);
            }
        }
        break; // a range is the only entry
    }
    std::vector<FrameSize> unique;
    for (const FrameSize& candidate : found) {
        if (std::find(unique.begin(), unique.end(), candidate) == unique.end()) {
            unique.push_back(candidate);
        }
    }
    return unique;
}

bool V4l2Camera::startStreaming(FrameSize wanted) {
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = static_cast<std::uint32_t>(std::max(wanted.width, 0));
    format.fmt.pix.height = static_cast<std::uint32_t>(std::max(wanted.height, 0));
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    if (const int error = device->request(VIDIOC_S_FMT, &format)) {
        logFailure(path, "VIDIOC_S_FMT failed", error);
        return false;
    }
    const FrameSize got{static_cast<int>(format.fmt.pix.width),
                        static_cast<int>(format.fmt.pix.height)};
    const std::size_t rowBytes =
        std::max<std::size_t>(format.fmt.pix.bytesperline, std::size_t{3} * got.width);
    if (format.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24 ||
        !Surface::create(got.width, got.height)) {
        logFailure(path, "no 24-bit frames of a usable size", EINVAL);
        return false;
    }
    size = got;
    bytesPerLine = rowBytes;
    applyFramePeriod();

    v4l2_requestbuffers request{};
    request.count = bufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int error = device->request(VIDIOC_REQBUFS, &request)) {
        logFailure(path, "VIDIOC_REQBUFS failed", error);
        return false;
    }
    for (std::uint32_t index = 0; index < request.count; ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        int error = device->request(VIDIOC_QUERYBUF, &buffer);
        auto mapping = error ? nullptr : device->map(buffer.length, buffer.m.offset);
        if (!mapping) {
            logFailure(path, "cannot map a frame buffer", error ? error : errno);
            stopStreaming();
            return false;
        }
        buffers.push_back(std::move(mapping));
        if ((error = device->request(VIDIOC_QBUF, &buffer)) != 0) {
            logFailure(path, "VIDIOC_QBUF failed", error);
            stopStreaming();
            return false;
        }
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (buffers.empty() || device->request(VIDIOC_STREAMON, &type) != 0) {
        logFailure(path, "cannot start streaming", buffers.empty() ? ENOMEM : errno);
        stopStreaming();
        return false;
    }
    {
        std::lock_guard lock(mutex);
        stopping = false;
        lost = false;
    }
    // Wait a few frame periods before checking for the stop again; a wake ends it early.
    const auto waitTimeout =
        std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(framePeriod * 5),
                   std::chrono::milliseconds(100), std::chrono::milliseconds(2000));
    streamThread = std::thread([this, waitTimeout] { streamLoop(waitTimeout); });
    return true;
}

void V4l2Camera::stopStreaming() {
    if (streamThread.joinable()) {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        device->wake();
        streamThread.join();
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    device->request(VIDIOC_STREAMOFF, &type);
    buffers.clear();
    v4l2_requestbuffers release{};
    release.count = 0;
    release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    release.memory = V4L2_MEMORY_MMAP;
    device->request(VIDIOC_REQBUFS, &release);
    std::lock_guard lock(mutex);
    grabbed.reset();
    frameReady.notify_all();
}

bool V4l2Camera::setFrameSize(FrameSize newSize) {
    if (std::find(sizes.begin(), sizes.end(), newSize) == sizes.end()) {
        return false;
    }
    if (!device) {
        size = newSize;
        return true;
    }
    const FrameSize old = size;
    stopStreaming();
    if (startStreaming(newSize)) {
        return true;
    }
    startStreaming(old);
    return false;
}

std::vector<CameraControl> V4l2Camera::controls() const {
    std::vector<CameraControl> found;
    if (!device) {
        return found;
    }
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (device->request(VIDIOC_QUERYCTRL, &query) == 0) {
        const bool usable =
            !(query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) &&
            (query.type == V4L2_CTRL_TYPE_INTEGER || query.type == V4L2_CTRL_TYPE_BOOLEAN);
        v4l2_control current{};
        current.id = query.id;
        if (usable && device->request(VIDIOC_G_CTRL, &current) == 0) {
            found.push_back({query.id, text(query.name, sizeof query.name), query.minimum,
                             query.maximum, std::max(query.step, 1), query.default_value,
                             current.value});
        }
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return found;
}

bool V4l2Camera::setControl(std::uint32_t id, std::int32_t value) {
    if (!device) {
        return false;
    }
    v4l2_control control{};
    control.id = id;
    control.value = value;
    if (const int error = device->request(VIDIOC_S_CTRL, &control)) {
        logFailure(path, "VIDIOC_S_CTRL failed", error);
        return false;
    }
    return true;
}

void V4l2Camera::setFramePeriod(std::chrono::microseconds period) {
    framePeriod = std::max(period, std::chrono::microseconds(1));
    if (device) {
        applyFramePeriod();
    }
}

// Cameras without a settable frame interval keep their own.
void V4l2Camera::applyFramePeriod() {
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (device->request(VIDIOC_G_PARM, &parm) != 0 ||
        !(parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
        return;
    }
    parm.parm.capture.timeperframe.numerator = static_cast<std::uint32_t>(framePeriod.count());
    parm.parm.capture.timeperframe.denominator = 1000000;
    if (const int error = device->request(VIDIOC_S_PARM, &parm)) {
        logFailure(path, "VIDIOC_S_PARM failed", error);
    }
}

void V4l2Camera::startPreview(PreviewTarget& target, std::chrono::milliseconds interval) {
    std::lock_guard lock(previewMutex);
    previewTarget = &target;
    previewInterval = interval;
    nextPreview = std::chrono::steady_clock::now();
}

void V4l2Camera::stopPreview() {
    std::lock_guard lock(previewMutex);
    previewTarget = nullptr;
}

bool V4l2Camera::grab(std::optional<Surface>& frame) {
    frame.reset();
    if (!streamThread.joinable()) {
        return false;
    }
    std::unique_lock lock(mutex);
    grabbed.reset();
    grabWanted = true;
    frameReady.wait_for(lock, grabTimeout, [this] { return grabbed || lost || stopping; });
    grabWanted = false;
    frame = std::move(grabbed);
    grabbed.reset();
    return frame.has_value();
}

void V4l2Camera::markLost() {
    std::lock_guard lock(mutex);
    lost = true;
    frameReady.notify_all();
}

void V4l2Camera::streamLoop(std::chrono::milliseconds timeout) {
    int failuresInARow = 0;
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stopping) {
                return;
            }
        }
        if (failuresInARow >= maxFailuresInARow) {
            logFailure(path, "giving up after repeated failures", EIO);
            markLost();
            return;
        }
        const int waited = device->waitForFrame(timeout);
        if (waited == ETIMEDOUT || waited == EINTR || waited == ECANCELED) {
            continue;
        }
        if (waited != 0) {
            logFailure(path, "waiting for a frame failed", waited);
            ++failuresInARow;
            continue;
        }

        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        const int error = device->request(VIDIOC_DQBUF, &buffer);
        if (error == EAGAIN || error == EINTR) {
            continue;
        }
        if (error == ENODEV) {
            logFailure(path, "camera gone", error);
            markLost();
            return;
        }
        if (error != 0 || buffer.index >= buffers.size()) {
            logFailure(path, "VIDIOC_DQBUF failed", error ? error : EINVAL);
            ++failuresInARow;
            continue;
        }
        failuresInARow = 0;
        // A damaged frame (the device flags it) is dropped; the stream itself is fine.
        if (!(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            const auto& mapping = *buffers[buffer.index];
            deliver(mapping.data(), std::min<std::size_t>(buffer.bytesused, mapping.size()));
        }
        // Every dequeued buffer goes back, damaged or not, or the stream runs dry.
        if (const int requeue = device->request(VIDIOC_QBUF, &buffer)) {
            logFailure(path, "VIDIOC_QBUF failed", requeue);
            if (requeue == ENODEV) {
                markLost();
                return;
            }
            ++failuresInARow;
        }
    }
}

void V4l2Camera::deliver(const std::uint8_t* data, std::size_t bytesUsed) {
    const auto height = static_cast<std::size_t>(size.height);
    const std::size_t rowBytes = std::size_t{3} * static_cast<std::size_t>(size.width);
    if (bytesUsed < bytesPerLine * (height - 1) + rowBytes) {
        return; // a short frame; the next one will do
    }
    bool forGrab = false;
    {
        std::lock_guard lock(mutex);
        forGrab = grabWanted && !grabbed;
    }
    std::unique_lock preview(previewMutex);
    const auto now = std::chrono::steady_clock::now();
    const bool forPreview =
        previewTarget != nullptr && now >= nextPreview && previewTarget->wantsFrames();
    if (!forPreview) {
        preview.unlock();
        if (!forGrab) {
            return;
        }
    }

    Surface frame = *Surface::create(size.width, size.height);
    for (std::size_t y = 0; y < height; ++y) {
        std::memcpy(frame.rowFromTop(static_cast<int>(y)), data + y * bytesPerLine, rowBytes);
    }
    if (forPreview) {
        nextPreview = now + previewInterval;
        previewTarget->showFrame(frame);
        preview.unlock();
    }
    if (forGrab) {
        std::lock_guard lock(mutex);
        grabbed = std::move(frame);
        frameReady.notify_all();
    }
}
