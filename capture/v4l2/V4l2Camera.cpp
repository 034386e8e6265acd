#include "capture/v4l2/V4l2Camera.h"

#include "capture/v4l2/V4l2Log.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

namespace {

// A stream whose requests fail this many times in a row, without a buffer dequeued in
// between, is taken as lost instead of being retried for ever.
constexpr int maxFailuresInARow = 10;

// The most entries of a menu control the Source dialog offers.
constexpr std::int32_t maxMenuEntries = 64;

std::string text(const std::uint8_t* bytes, std::size_t size) {
    const auto* begin = reinterpret_cast<const char*>(bytes);
    return std::string(begin, strnlen(begin, size));
}

// The largest reduction (1, 2, 4 or 8) that leaves a frame at least as large as shown.
int reductionFor(FrameSize frame, std::optional<FrameSize> shown) {
    int reduction = 1;
    while (shown && reduction < 8 && frame.width / (reduction * 2) >= shown->width &&
           frame.height / (reduction * 2) >= shown->height) {
        reduction *= 2;
    }
    return reduction;
}

} // namespace

V4l2Camera::Identity V4l2Camera::Identity::of(const v4l2_capability& capability,
                                              const std::string& stableName) {
    return {text(capability.card, sizeof capability.card),
            text(capability.bus_info, sizeof capability.bus_info), stableName};
}

bool V4l2Camera::Identity::isSameCamera(const Identity& other) const {
    return card == other.card &&
           (bus == other.bus || (!stableName.empty() && stableName == other.stableName));
}

V4l2Camera::V4l2Camera(std::string path, Identity identity, std::string description,
                       Machine machine)
    : identity_(std::move(identity))
    , description_(std::move(description))
    , machine_(std::move(machine))
    , path_(std::move(path)) {}

V4l2Camera::~V4l2Camera() {
    close();
}

std::vector<std::unique_ptr<V4l2Camera>> V4l2Camera::findCameras(const Machine& machine) {
    struct Found {
        std::string path;
        Identity identity;
    };
    std::vector<Found> found;
    for (const V4l2Node& node : machine.nodes()) {
        const auto device = machine.open(node.path);
        v4l2_capability capability{};
        if (!device || device->request(VIDIOC_QUERYCAP, &capability) != 0) {
            continue;
        }
        const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS)
                                       ? capability.device_caps
                                       : capability.capabilities;
        if ((caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING)) {
            found.push_back({node.path, Identity::of(capability, node.stableName)});
        }
    }
    std::map<std::string, int> cardCount;
    for (const Found& camera : found) {
        ++cardCount[camera.identity.card];
    }
    std::vector<std::unique_ptr<V4l2Camera>> cameras;
    for (const Found& camera : found) {
        std::string description = camera.identity.card;
        if (cardCount[camera.identity.card] > 1) {
            description += " (" + camera.identity.bus + ")";
        }
        cameras.push_back(
            std::make_unique<V4l2Camera>(camera.path, camera.identity, description, machine));
    }
    return cameras;
}

bool V4l2Camera::isSameDevice(const CaptureDriver& other) const {
    const auto* camera = dynamic_cast<const V4l2Camera*>(&other);
    return camera != nullptr && identity_.isSameCamera(camera->identity_);
}

std::optional<RememberedCamera::Identity> V4l2Camera::identity() const {
    return RememberedCamera::Identity{identity_.card, identity_.bus, identity_.stableName};
}

bool V4l2Camera::open() {
    if (inUse_) {
        return true;
    }
    FrameSize wanted;
    {
        std::lock_guard lock(deviceMutex_);
        wanted = size_;
    }
    if (!bringUp(wanted)) {
        if (notFoundBecause_ != 0) {
            logV4l2Failure(path_, "cannot open", notFoundBecause_);
        }
        return false;
    }
    startThread();
    inUse_ = true;
    // Chosen again after it was lost, or another camera chosen instead: the program has a
    // camera again.
    machine_.health->succeeded();
    tellLost(false);
    return true;
}

void V4l2Camera::close() {
    if (!inUse_) {
        return;
    }
    stopPreview();
    stopThread();
    std::lock_guard lock(deviceMutex_);
    closeDevice();
    inUse_ = false;
}

bool V4l2Camera::bringUp(FrameSize wanted) {
    std::string foundPath;
    auto found = findDevice(foundPath);
    if (!found) {
        return false;
    }
    std::lock_guard lock(deviceMutex_);
    openDevice(std::move(found), std::move(foundPath));
    if (wanted.width == 0) {
        v4l2_format current{};
        current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device_->request(VIDIOC_G_FMT, &current) == 0) {
            wanted = {static_cast<int>(current.fmt.pix.width),
                      static_cast<int>(current.fmt.pix.height)};
        }
    }
    restoreControls();
    if (!configure(wanted) || !startStreaming()) {
        closeDevice();
        return false;
    }
    return true;
}

std::unique_ptr<V4l2Device> V4l2Camera::findDevice(std::string& foundPath) {
    std::vector<V4l2Node> nodes = machine_.nodes();
    std::stable_partition(nodes.begin(), nodes.end(),
                          [this](const V4l2Node& node) { return node.path == path_; });
    notFoundBecause_ = ENODEV;
    for (const V4l2Node& node : nodes) {
        auto opened = machine_.open(node.path);
        if (!opened && node.path == path_) {
            notFoundBecause_ = errno;
        }
        v4l2_capability capability{};
        if (opened && opened->request(VIDIOC_QUERYCAP, &capability) == 0 &&
            identity_.isSameCamera(Identity::of(capability, node.stableName))) {
            foundPath = node.path;
            notFoundBecause_ = 0;
            return opened;
        }
    }
    return nullptr;
}

void V4l2Camera::openDevice(std::unique_ptr<V4l2Device> found, std::string foundPath) {
    device_ = std::move(found);
    path_ = std::move(foundPath);
    formats_ = V4l2Formats(*device_);
}

void V4l2Camera::closeDevice() {
    stream_.reset();
    device_.reset();
}

// A camera that lost its power has forgotten them.
void V4l2Camera::restoreControls() {
    for (const auto& [id, value] : controlValues_) {
        v4l2_control control{};
        control.id = id;
        control.value = value;
        device_->request(VIDIOC_S_CTRL, &control);
    }
}

bool V4l2Camera::configure(FrameSize wanted) {
    const auto chosen = formats_.choose(wanted, *device_);
    if (!chosen) {
        logV4l2Failure(path_, "no 24-bit frames of a usable size", EINVAL);
        return false;
    }
    v4l2_format request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.fmt.pix.width = chosen->width;
    request.fmt.pix.height = chosen->height;
    request.fmt.pix.pixelformat = chosen->pixelformat;
    request.fmt.pix.field = V4L2_FIELD_NONE;
    if (const int error = device_->request(VIDIOC_S_FMT, &request)) {
        logV4l2Failure(path_, "VIDIOC_S_FMT failed", error);
        return false;
    }
    const v4l2_pix_format& got = request.fmt.pix;
    const FrameSize gotSize{static_cast<int>(got.width), static_cast<int>(got.height)};
    if (got.pixelformat != chosen->pixelformat || !Surface::create(gotSize.width, gotSize.height)) {
        logV4l2Failure(path_, "no 24-bit frames of a usable size", EINVAL);
        return false;
    }
    format_ = got;
    size_ = gotSize;
    applyFramePeriod();
    return true;
}

bool V4l2Camera::startStreaming() {
    stream_ = V4l2Stream::start(*device_, path_);
    if (!stream_) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        lost_ = false;
    }
    damageReported_ = false;
    return true;
}

bool V4l2Camera::setFrameSize(FrameSize newSize) {
    {
        std::lock_guard lock(deviceMutex_);
        if (!formats_.offers(newSize)) {
            return false;
        }
        if (!inUse_) {
            size_ = newSize;
            return true;
        }
    }
    stopThread();
    bool changed = true;
    {
        std::lock_guard lock(deviceMutex_);
        if (!device_) {
            size_ = newSize; // for when it comes back
        } else {
            const FrameSize old = size_;
            stream_.reset();
            changed = configure(newSize) && startStreaming();
            if (!changed && configure(old)) {
                startStreaming();
            }
        }
    }
    startThread();
    return changed;
}

std::vector<CameraControl> V4l2Camera::controls() const {
    std::vector<CameraControl> found;
    std::lock_guard lock(deviceMutex_);
    if (!device_) {
        return found;
    }
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (device_->request(VIDIOC_QUERYCTRL, &query) == 0) {
        const bool menu =
            query.type == V4L2_CTRL_TYPE_MENU || query.type == V4L2_CTRL_TYPE_INTEGER_MENU;
        const bool usable =
            !(query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) &&
            (query.type == V4L2_CTRL_TYPE_INTEGER || query.type == V4L2_CTRL_TYPE_BOOLEAN || menu);
        v4l2_control current{};
        current.id = query.id;
        if (usable && device_->request(VIDIOC_G_CTRL, &current) == 0) {
            found.push_back({query.id, text(query.name, sizeof query.name), query.minimum,
                             query.maximum, std::max(query.step, 1), query.default_value,
                             current.value, menu ? menuChoices(query) : CameraControl::Choices{}});
        }
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return found;
}

// A menu's entries as the device names them, up to maxMenuEntries; an index it refuses is
// no entry.
CameraControl::Choices V4l2Camera::menuChoices(const v4l2_queryctrl& query) const {
    CameraControl::Choices choices;
    const std::int32_t last = std::min(query.maximum, query.minimum + maxMenuEntries - 1);
    for (std::int32_t index = query.minimum; index <= last; ++index) {
        v4l2_querymenu entry{};
        entry.id = query.id;
        entry.index = static_cast<std::uint32_t>(index);
        if (device_->request(VIDIOC_QUERYMENU, &entry) == 0) {
            choices.push_back({index, query.type == V4L2_CTRL_TYPE_MENU
                                          ? text(entry.name, sizeof entry.name)
                                          : std::to_string(entry.value)});
        }
    }
    return choices;
}

bool V4l2Camera::setControl(std::uint32_t id, std::int32_t value) {
    std::lock_guard lock(deviceMutex_);
    if (!device_) {
        return false;
    }
    v4l2_control control{};
    control.id = id;
    control.value = value;
    if (const int error = device_->request(VIDIOC_S_CTRL, &control)) {
        logV4l2Failure(path_, "VIDIOC_S_CTRL failed", error);
        return false;
    }
    controlValues_[id] = value;
    return true;
}

FrameSize V4l2Camera::frameSize() const {
    std::lock_guard lock(deviceMutex_);
    return size_;
}

std::vector<FrameSize> V4l2Camera::frameSizes() const {
    std::lock_guard lock(deviceMutex_);
    return formats_.sizes();
}

void V4l2Camera::setFramePeriod(std::chrono::microseconds period) {
    std::lock_guard lock(deviceMutex_);
    framePeriod_ = std::max(period, std::chrono::microseconds(1));
    if (device_) {
        applyFramePeriod();
    }
}

// Cameras without a settable frame interval keep their own.
void V4l2Camera::applyFramePeriod() {
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (device_->request(VIDIOC_G_PARM, &parm) != 0 ||
        !(parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
        return;
    }
    parm.parm.capture.timeperframe.numerator = static_cast<std::uint32_t>(framePeriod_.count());
    parm.parm.capture.timeperframe.denominator = 1000000;
    if (const int error = device_->request(VIDIOC_S_PARM, &parm)) {
        logV4l2Failure(path_, "VIDIOC_S_PARM failed", error);
    }
}

void V4l2Camera::startPreview(PreviewTarget& target, std::chrono::milliseconds interval) {
    std::lock_guard lock(previewMutex_);
    previewTarget_ = &target;
    previewInterval_ = interval;
    nextPreview_ = std::chrono::steady_clock::now();
}

void V4l2Camera::stopPreview() {
    std::lock_guard lock(previewMutex_);
    previewTarget_ = nullptr;
}

bool V4l2Camera::grab(std::optional<Surface>& frame) {
    frame.reset();
    if (!cameraThread_.joinable()) {
        return false;
    }
    std::unique_lock lock(mutex_);
    grabbed_.reset();
    grabWanted_ = true;
    frameReady_.wait_for(lock, machine_.timing.grabTimeout,
                         [this] { return grabbed_ || lost_ || stopping_; });
    grabWanted_ = false;
    frame = std::move(grabbed_);
    grabbed_.reset();
    return frame.has_value();
}

void V4l2Camera::markLost() {
    std::lock_guard lock(mutex_);
    lost_ = true;
    frameReady_.notify_all();
}

void V4l2Camera::startThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    cameraThread_ = std::thread([this] { run(); });
}

void V4l2Camera::stopThread() {
    if (!cameraThread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        frameReady_.notify_all();
        stopRequested_.notify_all();
    }
    {
        // The device the thread waits on, or the one it is about to wait on.
        std::lock_guard lock(deviceMutex_);
        if (device_) {
            device_->wake();
        }
    }
    cameraThread_.join();
    std::lock_guard lock(mutex_);
    grabbed_.reset();
}

void V4l2Camera::run() {
    while (device_ ? keepStreaming() : comeBack()) {
    }
}

bool V4l2Camera::keepStreaming() {
    std::chrono::milliseconds timeout;
    {
        // Wait a few frame periods before checking for the stop again; a wake ends it early.
        std::lock_guard lock(deviceMutex_);
        timeout =
            std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(framePeriod_ * 5),
                       std::chrono::milliseconds(100), std::chrono::milliseconds(2000));
    }
    const std::optional<std::string> lostBecause = streamLoop(timeout);
    if (!lostBecause) {
        return false;
    }
    markLost();
    tellLost(true);
    machine_.health->failed(description_ + " at " + path_ + ": " + *lostBecause);
    std::lock_guard lock(deviceMutex_);
    closeDevice();
    return true;
}

bool V4l2Camera::comeBack() {
    for (auto pause = machine_.timing.firstRetry;;
         pause = std::min(pause * 2, machine_.timing.longestRetry)) {
        {
            std::unique_lock lock(mutex_);
            if (stopRequested_.wait_for(lock, pause, [this] { return stopping_; })) {
                return false;
            }
        }
        FrameSize wanted;
        {
            std::lock_guard lock(deviceMutex_);
            wanted = size_;
        }
        if (bringUp(wanted)) {
            machine_.health->succeeded();
            tellLost(false);
            return true;
        }
        machine_.health->failed(description_ + ": not found");
    }
}

std::optional<std::string> V4l2Camera::streamLoop(std::chrono::milliseconds timeout) {
    int failuresInARow = 0;
    auto lastFrameAt = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return std::nullopt;
            }
        }
        if (failuresInARow >= maxFailuresInARow) {
            return "repeated failures";
        }
        if (std::chrono::steady_clock::now() - lastFrameAt > machine_.timing.stallLimit) {
            const auto limitMs = machine_.timing.stallLimit.count();
            return "no frame for " + (limitMs % 1000 == 0 ? std::to_string(limitMs / 1000) + " s"
                                                          : std::to_string(limitMs) + " ms");
        }
        const int waited = device_->waitForFrame(timeout);
        if (waited == ETIMEDOUT || waited == EINTR || waited == ECANCELED) {
            continue;
        }
        if (waited != 0) {
            logV4l2Failure(path_, "waiting for a frame failed", waited);
            ++failuresInARow;
            continue;
        }

        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        const int error = device_->request(VIDIOC_DQBUF, &buffer);
        if (error == EAGAIN || error == EINTR) {
            continue;
        }
        if (error == ENODEV) {
            return std::strerror(error);
        }
        const V4l2Device::Mapping* mapping = error == 0 ? stream_->buffer(buffer.index) : nullptr;
        if (mapping == nullptr) {
            logV4l2Failure(path_, "VIDIOC_DQBUF failed", error ? error : EINVAL);
            ++failuresInARow;
            continue;
        }
        failuresInARow = 0;
        lastFrameAt = std::chrono::steady_clock::now();
        // Said at every frame, so that a return told late (within a minute of the loss) is
        // told at the first frame after that minute.
        machine_.health->succeeded();
        // A damaged frame (the device flags it) is dropped; the stream itself is fine.
        if (!(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            deliver(mapping->data(), std::min<std::size_t>(buffer.bytesused, mapping->size()));
        }
        // Every dequeued buffer goes back, damaged or not, or the stream runs dry.
        if (const int requeue = device_->request(VIDIOC_QBUF, &buffer)) {
            if (requeue == ENODEV) {
                return std::strerror(requeue);
            }
            logV4l2Failure(path_, "VIDIOC_QBUF failed", requeue);
            ++failuresInARow;
        }
    }
}

void V4l2Camera::deliver(const std::uint8_t* data, std::size_t bytesUsed) {
    const bool forListener = offerToListener(data, bytesUsed);
    bool forGrab = false;
    {
        std::lock_guard lock(mutex_);
        forGrab = grabWanted_ && !grabbed_;
    }
    std::unique_lock preview(previewMutex_);
    const auto now = std::chrono::steady_clock::now();
    const bool forPreview =
        previewTarget_ != nullptr && now >= nextPreview_ && previewTarget_->wantsFrames();
    if (!forPreview) {
        preview.unlock();
        if (!forGrab && !forListener) {
            return; // nobody uses this frame: it is not converted
        }
    }
    if (!forGrab && !forListener) {
        if (convert(data, bytesUsed, reductionFor(size_, previewTarget_->stretchedSize()),
                    previewFrame_)) {
            nextPreview_ = now + previewInterval_;
            previewTarget_->showFrame(*previewFrame_);
        }
        return;
    }
    // A grab and the listener take the whole frame, converted once for all who use it.
    std::optional<Surface> grabFrame;
    std::optional<Surface>& frame = forGrab ? grabFrame : previewFrame_;
    if (!convert(data, bytesUsed, 1, frame)) {
        return;
    }
    if (forPreview) {
        nextPreview_ = now + previewInterval_;
        previewTarget_->showFrame(*frame);
        preview.unlock();
    }
    if (forListener) {
        machine_.frames->pixelFrame(*frame);
    }
    if (forGrab) {
        std::lock_guard lock(mutex_);
        grabbed_ = std::move(grabFrame);
        frameReady_.notify_all();
    }
}

bool V4l2Camera::offerToListener(const std::uint8_t* data, std::size_t bytesUsed) {
    if (machine_.frames == nullptr || !machine_.frames->wantsFrames()) {
        return false;
    }
    if (format_.pixelformat == V4L2_PIX_FMT_MJPEG || format_.pixelformat == V4L2_PIX_FMT_JPEG) {
        machine_.frames->jpegFrame(data, bytesUsed);
        return false;
    }
    return true;
}

void V4l2Camera::tellLost(bool lost) {
    if (machine_.frames != nullptr) {
        machine_.frames->cameraLost(lost);
    }
}

// A damaged frame is dropped like a damaged buffer; the first one of a stream is reported.
bool V4l2Camera::convert(const std::uint8_t* data, std::size_t bytesUsed, int reduction,
                         std::optional<Surface>& frame) {
    if (device_->convert(format_, data, bytesUsed, reduction, frame)) {
        return true;
    }
    if (!std::exchange(damageReported_, true)) {
        logV4l2Failure(path_, "a damaged frame was dropped", EBADMSG);
    }
    return false;
}
