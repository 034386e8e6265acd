#include "capture/v4l2/V4l2Camera.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

namespace {

// A stream whose requests fail this many times in a row, without a buffer dequeued in
// between, is taken as lost instead of being retried for ever.
constexpr int maxFailuresInARow = 10;

// The camera's own formats the program likes best, best first; MJPEG and JPEG are the
// same to it.
constexpr std::array<std::uint32_t, 3> preferredFormats = {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_JPEG,
                                                           V4L2_PIX_FMT_YUYV};

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

// The largest reduction (1, 2, 4 or 8) that leaves a frame at least as large as shown.
int reductionFor(FrameSize frame, std::optional<FrameSize> shown) {
    int reduction = 1;
    while (shown && reduction < 8 && frame.width / (reduction * 2) >= shown->width &&
           frame.height / (reduction * 2) >= shown->height) {
        reduction *= 2;
    }
    return reduction;
}

bool fitsStep(std::uint32_t value, std::uint32_t minimum, std::uint32_t maximum,
              std::uint32_t step) {
    return value >= minimum && value <= maximum && (step == 0 || (value - minimum) % step == 0);
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
    : identity(std::move(identity))
    , description_(std::move(description))
    , machine(std::move(machine))
    , path(std::move(path)) {}

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
    return camera != nullptr && identity.isSameCamera(camera->identity);
}

bool V4l2Camera::open() {
    if (inUse) {
        return true;
    }
    FrameSize wanted;
    {
        std::lock_guard lock(deviceMutex);
        wanted = size;
    }
    if (!bringUp(wanted)) {
        if (notFoundBecause != 0) {
            logFailure(path, "cannot open", notFoundBecause);
        }
        return false;
    }
    startThread();
    inUse = true;
    // Chosen again after it was lost, or another camera chosen instead: the program has a
    // camera again.
    machine.health->succeeded();
    return true;
}

void V4l2Camera::close() {
    if (!inUse) {
        return;
    }
    stopPreview();
    stopThread();
    std::lock_guard lock(deviceMutex);
    if (device) {
        stopStreaming();
        closeDevice();
    }
    inUse = false;
}

bool V4l2Camera::bringUp(FrameSize wanted) {
    std::string foundPath;
    auto found = findDevice(foundPath);
    if (!found) {
        return false;
    }
    std::lock_guard lock(deviceMutex);
    openDevice(std::move(found), std::move(foundPath));
    if (wanted.width == 0) {
        v4l2_format current{};
        current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device->request(VIDIOC_G_FMT, &current) == 0) {
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
    std::vector<V4l2Node> nodes = machine.nodes();
    std::stable_partition(nodes.begin(), nodes.end(),
                          [this](const V4l2Node& node) { return node.path == path; });
    notFoundBecause = ENODEV;
    for (const V4l2Node& node : nodes) {
        auto opened = machine.open(node.path);
        if (!opened && node.path == path) {
            notFoundBecause = errno;
        }
        v4l2_capability capability{};
        if (opened && opened->request(VIDIOC_QUERYCAP, &capability) == 0 &&
            identity.isSameCamera(Identity::of(capability, node.stableName))) {
            foundPath = node.path;
            notFoundBecause = 0;
            return opened;
        }
    }
    return nullptr;
}

void V4l2Camera::openDevice(std::unique_ptr<V4l2Device> found, std::string foundPath) {
    device = std::move(found);
    path = std::move(foundPath);
    formats = enumerateFormats();
    sizes.clear();
    for (const OwnFormat& own : formats) {
        for (const FrameSize& offered : own.sizes) {
            if (std::find(sizes.begin(), sizes.end(), offered) == sizes.end()) {
                sizes.push_back(offered);
            }
        }
    }
}

void V4l2Camera::closeDevice() {
    device.reset();
}

// A camera that lost its power has forgotten them.
void V4l2Camera::restoreControls() {
    for (const auto& [id, value] : controlValues) {
        v4l2_control control{};
        control.id = id;
        control.value = value;
        device->request(VIDIOC_S_CTRL, &control);
    }
}

std::vector<V4l2Camera::OwnFormat> V4l2Camera::enumerateFormats() {
    std::vector<OwnFormat> found;
    for (std::uint32_t index = 0;; ++index) {
        v4l2_fmtdesc description{};
        description.index = index;
        description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device->request(VIDIOC_ENUM_FMT, &description) != 0) {
            break;
        }
        if (!(description.flags & V4L2_FMT_FLAG_EMULATED)) {
            found.push_back({description.pixelformat, enumerateSizes(description.pixelformat)});
        }
    }
    const auto rank = [](const OwnFormat& own) {
        const auto preferred =
            std::find(preferredFormats.begin(), preferredFormats.end(), own.pixelFormat);
        return preferred - preferredFormats.begin();
    };
    std::stable_sort(found.begin(), found.end(),
                     [&](const OwnFormat& a, const OwnFormat& b) { return rank(a) < rank(b); });
    return found;
}

std::vector<FrameSize> V4l2Camera::enumerateSizes(std::uint32_t pixelFormat) {
    std::vector<FrameSize> found;
    for (std::uint32_t index = 0;; ++index) {
        v4l2_frmsizeenum entry{};
        entry.index = index;
        entry.pixel_format = pixelFormat;
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
    return found;
}

// MJPEG, then YUYV, at the size asked for; else what libv4lconvert makes of that size;
// else MJPEG or YUYV at the size the camera makes of the request; else libv4lconvert's
// nearest size.
std::optional<v4l2_pix_format> V4l2Camera::chooseFormat(FrameSize wanted) {
    v4l2_pix_format request{};
    request.width = static_cast<std::uint32_t>(std::max(wanted.width, 0));
    request.height = static_cast<std::uint32_t>(std::max(wanted.height, 0));
    request.field = V4L2_FIELD_NONE;
    std::optional<std::uint32_t> preferredAtAnySize;
    for (const OwnFormat& own : formats) {
        if (std::find(preferredFormats.begin(), preferredFormats.end(), own.pixelFormat) ==
            preferredFormats.end()) {
            break;
        }
        if (std::find(own.sizes.begin(), own.sizes.end(), wanted) != own.sizes.end()) {
            request.pixelformat = own.pixelFormat;
            return request;
        }
        preferredAtAnySize = preferredAtAnySize.value_or(own.pixelFormat);
    }
    const auto fromLibrary = device->libraryFormat(request.width, request.height);
    if (fromLibrary && fromLibrary->width == request.width &&
        fromLibrary->height == request.height) {
        return fromLibrary;
    }
    if (preferredAtAnySize) {
        request.pixelformat = *preferredAtAnySize;
        return request;
    }
    return fromLibrary;
}

bool V4l2Camera::configure(FrameSize wanted) {
    const auto chosen = chooseFormat(wanted);
    if (!chosen) {
        logFailure(path, "no 24-bit frames of a usable size", EINVAL);
        return false;
    }
    v4l2_format request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.fmt.pix.width = chosen->width;
    request.fmt.pix.height = chosen->height;
    request.fmt.pix.pixelformat = chosen->pixelformat;
    request.fmt.pix.field = V4L2_FIELD_NONE;
    if (const int error = device->request(VIDIOC_S_FMT, &request)) {
        logFailure(path, "VIDIOC_S_FMT failed", error);
        return false;
    }
    const v4l2_pix_format& got = request.fmt.pix;
    const FrameSize gotSize{static_cast<int>(got.width), static_cast<int>(got.height)};
    if (got.pixelformat != chosen->pixelformat || !Surface::create(gotSize.width, gotSize.height)) {
        logFailure(path, "no 24-bit frames of a usable size", EINVAL);
        return false;
    }
    format = got;
    size = gotSize;
    applyFramePeriod();
    return true;
}

bool V4l2Camera::startStreaming() {
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
        lost = false;
    }
    damageReported = false;
    return true;
}

void V4l2Camera::stopStreaming() {
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    device->request(VIDIOC_STREAMOFF, &type);
    buffers.clear();
    v4l2_requestbuffers release{};
    release.count = 0;
    release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    release.memory = V4L2_MEMORY_MMAP;
    device->request(VIDIOC_REQBUFS, &release);
}

bool V4l2Camera::setFrameSize(FrameSize newSize) {
    {
        std::lock_guard lock(deviceMutex);
        if (std::find(sizes.begin(), sizes.end(), newSize) == sizes.end()) {
            return false;
        }
        if (!inUse) {
            size = newSize;
            return true;
        }
    }
    stopThread();
    bool changed = true;
    {
        std::lock_guard lock(deviceMutex);
        if (!device) {
            size = newSize; // for when it comes back
        } else {
            const FrameSize old = size;
            stopStreaming();
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
    std::lock_guard lock(deviceMutex);
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
    std::lock_guard lock(deviceMutex);
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
    controlValues[id] = value;
    return true;
}

FrameSize V4l2Camera::frameSize() const {
    std::lock_guard lock(deviceMutex);
    return size;
}

std::vector<FrameSize> V4l2Camera::frameSizes() const {
    std::lock_guard lock(deviceMutex);
    return sizes;
}

void V4l2Camera::setFramePeriod(std::chrono::microseconds period) {
    std::lock_guard lock(deviceMutex);
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
    if (!cameraThread.joinable()) {
        return false;
    }
    std::unique_lock lock(mutex);
    grabbed.reset();
    grabWanted = true;
    frameReady.wait_for(lock, machine.timing.grabTimeout,
                        [this] { return grabbed || lost || stopping; });
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

void V4l2Camera::startThread() {
    {
        std::lock_guard lock(mutex);
        stopping = false;
    }
    cameraThread = std::thread([this] { run(); });
}

void V4l2Camera::stopThread() {
    if (!cameraThread.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex);
        stopping = true;
        frameReady.notify_all();
        stopRequested.notify_all();
    }
    {
        // The device the thread waits on, or the one it is about to wait on.
        std::lock_guard lock(deviceMutex);
        if (device) {
            device->wake();
        }
    }
    cameraThread.join();
    std::lock_guard lock(mutex);
    grabbed.reset();
}

void V4l2Camera::run() {
    while (device ? keepStreaming() : comeBack()) {
    }
}

bool V4l2Camera::keepStreaming() {
    std::chrono::milliseconds timeout;
    {
        // Wait a few frame periods before checking for the stop again; a wake ends it early.
        std::lock_guard lock(deviceMutex);
        timeout = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(framePeriod * 5),
                             std::chrono::milliseconds(100), std::chrono::milliseconds(2000));
    }
    const std::optional<std::string> lostBecause = streamLoop(timeout);
    if (!lostBecause) {
        return false;
    }
    markLost();
    machine.health->failed(description_ + " at " + path + ": " + *lostBecause);
    std::lock_guard lock(deviceMutex);
    stopStreaming();
    closeDevice();
    return true;
}

bool V4l2Camera::comeBack() {
    for (auto pause = machine.timing.firstRetry;;
         pause = std::min(pause * 2, machine.timing.longestRetry)) {
        {
            std::unique_lock lock(mutex);
            if (stopRequested.wait_for(lock, pause, [this] { return stopping; })) {
                return false;
            }
        }
        FrameSize wanted;
        {
            std::lock_guard lock(deviceMutex);
            wanted = size;
        }
        if (bringUp(wanted)) {
            machine.health->succeeded();
            return true;
        }
        machine.health->failed(description_ + ": not found");
    }
}

std::optional<std::string> V4l2Camera::streamLoop(std::chrono::milliseconds timeout) {
    int failuresInARow = 0;
    auto lastFrameAt = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stopping) {
                return std::nullopt;
            }
        }
        if (failuresInARow >= maxFailuresInARow) {
            return "repeated failures";
        }
        if (std::chrono::steady_clock::now() - lastFrameAt > machine.timing.stallLimit) {
            const auto limitMs = machine.timing.stallLimit.count();
            return "no frame for " + (limitMs % 1000 == 0 ? std::to_string(limitMs / 1000) + " s"
                                                          : std::to_string(limitMs) + " ms");
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
            return std::strerror(error);
        }
        if (error != 0 || buffer.index >= buffers.size()) {
            logFailure(path, "VIDIOC_DQBUF failed", error ? error : EINVAL);
            ++failuresInARow;
            continue;
        }
        failuresInARow = 0;
        lastFrameAt = std::chrono::steady_clock::now();
        // Said at every frame, so that a return told late (within a minute of the loss) is
        // told at the first frame after that minute.
        machine.health->succeeded();
        // A damaged frame (the device flags it) is dropped; the stream itself is fine.
        if (!(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            const auto& mapping = *buffers[buffer.index];
            deliver(mapping.data(), std::min<std::size_t>(buffer.bytesused, mapping.size()));
        }
        // Every dequeued buffer goes back, damaged or not, or the stream runs dry.
        if (const int requeue = device->request(VIDIOC_QBUF, &buffer)) {
            if (requeue == ENODEV) {
                return std::strerror(requeue);
            }
            logFailure(path, "VIDIOC_QBUF failed", requeue);
            ++failuresInARow;
        }
    }
}

void V4l2Camera::deliver(const std::uint8_t* data, std::size_t bytesUsed) {
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
            return; // nobody uses this frame: it is not converted
        }
    }
    if (!forGrab) {
        if (convert(data, bytesUsed, reductionFor(size, previewTarget->stretchedSize()),
                    previewFrame)) {
            nextPreview = now + previewInterval;
            previewTarget->showFrame(*previewFrame);
        }
        return;
    }
    // A grab takes the whole frame; a preview due at the same time shows it too.
    std::optional<Surface> frame;
    if (!convert(data, bytesUsed, 1, frame)) {
        return;
    }
    if (forPreview) {
        nextPreview = now + previewInterval;
        previewTarget->showFrame(*frame);
        preview.unlock();
    }
    std::lock_guard lock(mutex);
    grabbed = std::move(frame);
    frameReady.notify_all();
}

// A damaged frame is dropped like a damaged buffer; the first one of a stream is reported.
bool V4l2Camera::convert(const std::uint8_t* data, std::size_t bytesUsed, int reduction,
                         std::optional<Surface>& frame) {
    if (device->convert(format, data, bytesUsed, reduction, frame)) {
        return true;
    }
    if (!std::exchange(damageReported, true)) {
        logFailure(path, "a damaged frame was dropped", EBADMSG);
    }
    return false;
}
