#include "tests/capture/FakeV4l2Camera.h"

#include "capture/FrameConverter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

class FakeV4l2Camera::Device : public V4l2Device {
public:
    explicit Device(std::shared_ptr<FakeV4l2Camera> camera)
        : camera(std::move(camera))
        , converter(*this, -1) {
        auto lock = this->camera->lock();
        ++this->camera->openDevices;
        seenWakes = this->camera->wakes;
        generation = this->camera->generation;
    }
    ~Device() override {
        auto lock = camera->lock();
        --camera->openDevices;
    }

    int request(unsigned long code, void* argument) override {
        auto lock = camera->lock();
        return gone() ? ENODEV : camera->request(code, argument);
    }

    std::unique_ptr<Mapping> map(std::size_t length, std::uint32_t offset) override {
        auto lock = camera->lock();
        if (gone() || offset >= camera->memory.size() || length > camera->memory[offset].size()) {
            return nullptr;
        }
        ++camera->liveMappings;
        return std::make_unique<FakeMapping>(camera, camera->memory[offset].data(), length);
    }

    int waitForFrame(std::chrono::milliseconds timeout) override {
        std::unique_lock lock(camera->mutex);
        const auto ready = [&] {
            return gone() || camera->wakes != seenWakes ||
                   (camera->streaming && !camera->pending.empty() &&
                    std::any_of(camera->queued.begin(), camera->queued.end(),
                                [](bool q) { return q; }));
        };
        if (!camera->changed.wait_for(lock, timeout, ready)) {
            return ETIMEDOUT;
        }
        if (camera->wakes != seenWakes) {
            seenWakes = camera->wakes;
            return ECANCELED;
        }
        return 0;
    }

    void wake() override {
        auto lock = camera->lock();
        ++camera->wakes;
        camera->changed.notify_all();
    }

    bool convert(const v4l2_pix_format& format, const std::uint8_t* data, std::size_t size,
                 int reduction, std::optional<Surface>& frame) override {
        {
            auto lock = camera->lock();
            ++camera->conversions;
        }
        return converter.convert(format, data, size, reduction, frame);
    }

    std::optional<v4l2_pix_format> libraryFormat(std::uint32_t width,
                                                 std::uint32_t height) override {
        return converter.libraryFormat(width, height);
    }

private:
    bool gone() const { return camera->unplugged || generation != camera->generation; }

    class FakeMapping : public Mapping {
    public:
        FakeMapping(std::shared_ptr<FakeV4l2Camera> camera, const std::uint8_t* start,
                    std::size_t length)
            : camera(std::move(camera))
            , start(start)
            , length(length) {}
        ~FakeMapping() override {
            auto lock = camera->lock();
            --camera->liveMappings;
        }
        const std::uint8_t* data() const override { return start; }
        std::size_t size() const override { return length; }

    private:
        std::shared_ptr<FakeV4l2Camera> camera;
        const std::uint8_t* start;
        std::size_t length;
    };

    std::shared_ptr<FakeV4l2Camera> camera;
    std::uint64_t seenWakes = 0;
    std::uint64_t generation = 0;
    FrameConverter converter;
};

V4l2Opener FakeV4l2Camera::opener() {
    return [camera = shared_from_this()](const std::string& path) -> std::unique_ptr<V4l2Device> {
        auto lock = camera->lock();
        camera->openedPaths.push_back(path);
        if (camera->unplugged) {
            return nullptr;
        }
        lock.unlock();
        return std::make_unique<Device>(camera);
    };
}

FakeV4l2Camera::Control FakeV4l2Camera::control(std::uint32_t id, std::int32_t value,
                                                std::uint32_t type, std::uint32_t flags) {
    Control made{};
    made.query.id = id;
    made.query.type = type;
    made.query.flags = flags;
    made.query.maximum = 255;
    made.query.step = 1;
    made.query.default_value = 128;
    made.value = value;
    return made;
}

FakeV4l2Camera::Format FakeV4l2Camera::format(std::uint32_t pixelFormat,
                                              const std::vector<FrameSize>& sizes) {
    Format listed{pixelFormat, {}};
    for (const FrameSize& size : sizes) {
        v4l2_frmsizeenum entry{};
        entry.type = V4L2_FRMSIZE_TYPE_DISCRETE;
        entry.discrete = {static_cast<std::uint32_t>(size.width),
                          static_cast<std::uint32_t>(size.height)};
        listed.sizes.push_back(entry);
    }
    return listed;
}

std::shared_ptr<FakeV4l2Camera> FakeV4l2Camera::create(const char* card, const char* bus) {
    std::shared_ptr<FakeV4l2Camera> camera(new FakeV4l2Camera());
    camera->capability.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    std::strncpy(reinterpret_cast<char*>(camera->capability.card), card, 31);
    std::strncpy(reinterpret_cast<char*>(camera->capability.bus_info), bus, 31);
    return camera;
}

void FakeV4l2Camera::push(Bytes bytes, std::uint32_t flags) {
    auto guard = lock();
    pending.push_back({std::move(bytes), flags});
    changed.notify_all();
}

void FakeV4l2Camera::unplug() {
    auto guard = lock();
    unplugged = true;
    changed.notify_all();
}

void FakeV4l2Camera::plugIn() {
    auto guard = lock();
    unplugged = false;
    ++generation;
    streaming = false;
    pending.clear();
    queued.clear();
    if (liveMappings == 0) {
        memory.clear();
        memoryHolds.clear();
    }
    pixelFormat = formats.front().pixelFormat;
    if (!formats.front().sizes.empty()) {
        width = formats.front().sizes.front().discrete.width;
        height = formats.front().sizes.front().discrete.height;
    }
    frameInterval = {1, 30};
    for (Control& control : controls) {
        control.value = control.query.default_value;
    }
    changed.notify_all();
}

bool FakeV4l2Camera::waitUntilHandled(std::chrono::milliseconds timeout) {
    auto guard = lock();
    return changed.wait_for(guard, timeout, [this] {
        return pending.empty() && queuedCount() == queued.size() && !queued.empty();
    });
}

std::size_t FakeV4l2Camera::queuedCount() const {
    return static_cast<std::size_t>(std::count(queued.begin(), queued.end(), true));
}

v4l2_pix_format FakeV4l2Camera::answer(std::uint32_t asked, std::uint32_t askedWidth,
                                       std::uint32_t askedHeight) const {
    const bool known = std::any_of(formats.begin(), formats.end(), [&](const Format& format) {
        return format.pixelFormat == asked;
    });
    v4l2_pix_format pix{};
    pix.pixelformat = known ? asked : formats.front().pixelFormat;
    pix.width = std::max(1u, askedWidth);
    pix.height = std::max(1u, askedHeight);
    pix.field = V4L2_FIELD_NONE;
    const std::uint32_t bytesPerPixel =
        pix.pixelformat == V4L2_PIX_FMT_BGR24 ? 3 : (pix.pixelformat == V4L2_PIX_FMT_YUYV ? 2 : 0);
    // A compressed format gets room for any frame of that size.
    pix.bytesperline = bytesPerPixel == 0 ? 0 : pix.width * bytesPerPixel + rowPadding;
    pix.sizeimage =
        bytesPerPixel == 0 ? pix.width * pix.height * 3 + 65536 : pix.bytesperline * pix.height;
    return pix;
}

int FakeV4l2Camera::request(unsigned long code, void* argument) {
    if (unplugged) {
        return ENODEV;
    }
    switch (code) {
    case VIDIOC_QUERYCAP:
        *static_cast<v4l2_capability*>(argument) = capability;
        return 0;
    case VIDIOC_ENUM_FMT: {
        auto& description = *static_cast<v4l2_fmtdesc*>(argument);
        if (description.index >= formats.size()) {
            return EINVAL;
        }
        description.pixelformat = formats[description.index].pixelFormat;
        return 0;
    }
    case VIDIOC_G_FMT:
        static_cast<v4l2_format*>(argument)->fmt.pix = answer(pixelFormat, width, height);
        return 0;
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT: {
        auto& pix = static_cast<v4l2_format*>(argument)->fmt.pix;
        if (code == VIDIOC_S_FMT && (streaming || !memory.empty())) {
            return EBUSY;
        }
        pix = answer(pix.pixelformat, pix.width, pix.height);
        if (code == VIDIOC_TRY_FMT) {
            return 0;
        }
        pixelFormat = pix.pixelformat;
        width = pix.width;
        height = pix.height;
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto& entry = *static_cast<v4l2_frmsizeenum*>(argument);
        const auto format = std::find_if(formats.begin(), formats.end(), [&](const Format& f) {
            return f.pixelFormat == entry.pixel_format;
        });
        if (format == formats.end() || entry.index >= format->sizes.size()) {
            return EINVAL;
        }
        const std::uint32_t index = entry.index;
        entry = format->sizes[index];
        entry.index = index;
        entry.pixel_format = format->pixelFormat;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        // A count of 0 frees the buffers.
        const std::uint32_t count = static_cast<v4l2_requestbuffers*>(argument)->count;
        if (streaming || liveMappings > 0) {
            return EBUSY;
        }
        memory.assign(count,
                      std::vector<std::uint8_t>(answer(pixelFormat, width, height).sizeimage));
        memoryHolds.assign(count, nullptr);
        queued.assign(count, false);
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto& buffer = *static_cast<v4l2_buffer*>(argument);
        if (buffer.index >= memory.size()) {
            return EINVAL;
        }
        buffer.length = static_cast<std::uint32_t>(memory[buffer.index].size());
        buffer.m.offset = buffer.index;
        return 0;
    }
    case VIDIOC_QBUF: {
        auto& buffer = *static_cast<v4l2_buffer*>(argument);
        if (buffer.index >= memory.size() || queued[buffer.index]) {
            return EINVAL;
        }
        queued[buffer.index] = true;
        changed.notify_all();
        return 0;
    }
    case VIDIOC_DQBUF: {
        auto& buffer = *static_cast<v4l2_buffer*>(argument);
        const auto next = std::find(queued.begin(), queued.end(), true);
        if (!streaming || pending.empty() || next == queued.end()) {
            return EAGAIN;
        }
        const Frame frame = std::move(pending.front());
        pending.pop_front();
        const auto index = static_cast<std::uint32_t>(next - queued.begin());
        auto& target = memory[index];
        const std::size_t used = std::min(frame.bytes->size(), target.size());
        if (memoryHolds[index] != frame.bytes) {
            std::copy_n(frame.bytes->begin(), used, target.begin());
            memoryHolds[index] = frame.bytes;
        }
        queued[index] = false;
        buffer.index = index;
        buffer.bytesused = static_cast<std::uint32_t>(used);
        buffer.flags = frame.flags;
        changed.notify_all();
        return 0;
    }
    case VIDIOC_STREAMON:
        streaming = true;
        changed.notify_all();
        return 0;
    case VIDIOC_STREAMOFF:
        streaming = false;
        std::fill(queued.begin(), queued.end(), false);
        return 0;
    case VIDIOC_G_PARM: {
        auto& parm = *static_cast<v4l2_streamparm*>(argument);
        parm.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        parm.parm.capture.timeperframe = frameInterval;
        return 0;
    }
    case VIDIOC_S_PARM:
        frameInterval = static_cast<v4l2_streamparm*>(argument)->parm.capture.timeperframe;
        return 0;
    case VIDIOC_QUERYCTRL: {
        auto& query = *static_cast<v4l2_queryctrl*>(argument);
        if (!(query.id & V4L2_CTRL_FLAG_NEXT_CTRL)) {
            return EINVAL;
        }
        const std::uint32_t after = query.id & ~V4L2_CTRL_FLAG_NEXT_CTRL;
        for (const Control& control : controls) {
            if (control.query.id > after) {
                query = control.query;
                return 0;
            }
        }
        return EINVAL;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        auto& value = *static_cast<v4l2_control*>(argument);
        for (Control& control : controls) {
            if (control.query.id == value.id) {
                if (code == VIDIOC_G_CTRL) {
                    value.value = control.value;
                } else {
                    control.value = value.value;
                }
                return 0;
            }
        }
        return EINVAL;
    }
    default:
        return ENOTTY;
    }
}
