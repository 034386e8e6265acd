#include "tests/support/FakeV4l2Camera.h"

#include "capture/v4l2/FrameConverter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <tuple>
#include <utility>

class FakeV4l2Camera::Device : public V4l2Device {
public:
    explicit Device(std::shared_ptr<FakeV4l2Camera> camera)
        : camera(std::move(camera))
        , converter(*this, -1)
        , seenWakes(this->camera->wakes)
        , generation(this->camera->generation) {
        ++this->camera->openDevices;
    }
    ~Device() override { --(camera->lock(), camera->openDevices); }

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
        return std::make_unique<FakeMapping>(camera,
                                             std::span(camera->memory[offset].data(), length));
    }
    int waitForFrame(std::chrono::milliseconds timeout) override {
        auto lock = camera->lock();
        if (!camera->changed.wait_for(lock, timeout, [&] {
                return gone() || camera->wakes != seenWakes || camera->frameReady();
            })) {
            return ETIMEDOUT;
        }
        return std::exchange(seenWakes, camera->wakes) != camera->wakes ? ECANCELED : 0;
    }
    void wake() override {
        auto lock = camera->lock();
        ++camera->wakes;
        camera->changed.notify_all();
    }
    bool convert(const v4l2_pix_format& format, const std::uint8_t* data, std::size_t size,
                 int reduction, std::optional<Surface>& frame) override {
        ++(camera->lock(), camera->conversions);
        return converter.convert(format, data, size, reduction, frame);
    }
    std::optional<v4l2_pix_format> libraryFormat(std::uint32_t width,
                                                 std::uint32_t height) override {
        return converter.libraryFormat(width, height);
    }

private:
    bool gone() const { return camera->unplugged || generation != camera->generation; }

    struct FakeMapping : Mapping {
        FakeMapping(std::shared_ptr<FakeV4l2Camera> camera, std::span<const std::uint8_t> bytes)
            : camera(std::move(camera))
            , bytes(bytes) {}
        ~FakeMapping() override { --(camera->lock(), camera->liveMappings); }
        const std::uint8_t* data() const override { return bytes.data(); }
        std::size_t size() const override { return bytes.size(); }
        std::shared_ptr<FakeV4l2Camera> camera;
        std::span<const std::uint8_t> bytes;
    };

    std::shared_ptr<FakeV4l2Camera> camera;
    FrameConverter converter;
    std::uint64_t seenWakes;
    std::uint64_t generation;
};

V4l2Opener FakeV4l2Camera::opener() {
    return [camera = shared_from_this()](const std::string&) -> std::unique_ptr<V4l2Device> {
        auto lock = camera->lock();
        return camera->unplugged ? nullptr : std::make_unique<Device>(camera);
    };
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
        width = static_cast<std::uint32_t>(formats.front().sizes.front().width);
        height = static_cast<std::uint32_t>(formats.front().sizes.front().height);
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
        return pending.empty() && !queued.empty() && std::ranges::all_of(queued, std::identity());
    });
}

v4l2_pix_format FakeV4l2Camera::answer(std::uint32_t asked, std::uint32_t askedWidth,
                                       std::uint32_t askedHeight) const {
    const bool known = std::ranges::find(formats, asked, &Format::pixelFormat) != formats.end();
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
    auto& pix = static_cast<v4l2_format*>(argument)->fmt.pix;
    auto& buffer = *static_cast<v4l2_buffer*>(argument);
    auto& parm = static_cast<v4l2_streamparm*>(argument)->parm.capture;
    auto& control = *static_cast<v4l2_control*>(argument);
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
        pix = answer(pixelFormat, width, height);
        return 0;
    case VIDIOC_TRY_FMT:
        pix = answer(pix.pixelformat, pix.width, pix.height);
        return 0;
    case VIDIOC_S_FMT:
        if (streaming || !memory.empty()) {
            return EBUSY;
        }
        pix = answer(pix.pixelformat, pix.width, pix.height);
        std::tie(pixelFormat, width, height) = std::tie(pix.pixelformat, pix.width, pix.height);
        return 0;
    case VIDIOC_ENUM_FRAMESIZES: {
        auto& entry = *static_cast<v4l2_frmsizeenum*>(argument);
        for (const Format& format : formats) {
            if (format.pixelFormat == entry.pixel_format && entry.index < format.sizes.size()) {
                const FrameSize size = format.sizes[entry.index];
                entry.type = V4L2_FRMSIZE_TYPE_DISCRETE;
                entry.discrete = {static_cast<std::uint32_t>(size.width),
                                  static_cast<std::uint32_t>(size.height)};
                return 0;
            }
        }
        return EINVAL;
    }
    case VIDIOC_REQBUFS: {
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
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
        if (buffer.index >= memory.size() || (code == VIDIOC_QBUF && queued[buffer.index])) {
            return EINVAL;
        }
        buffer.length = static_cast<std::uint32_t>(memory[buffer.index].size());
        buffer.m.offset = buffer.index;
        queued[buffer.index] = queued[buffer.index] || code == VIDIOC_QBUF;
        changed.notify_all();
        return 0;
    case VIDIOC_DQBUF: {
        if (!frameReady()) {
            return EAGAIN;
        }
        const auto next = std::ranges::find(queued, true);
        const auto [bytes, flags] = std::move(pending.front());
        pending.pop_front();
        *next = false;
        buffer.index = static_cast<std::uint32_t>(next - queued.begin());
        buffer.flags = flags;
        buffer.bytesused =
            static_cast<std::uint32_t>(std::min(bytes->size(), memory[buffer.index].size()));
        if (std::exchange(memoryHolds[buffer.index], bytes) != bytes) {
            std::copy_n(bytes->begin(), buffer.bytesused, memory[buffer.index].begin());
        }
        changed.notify_all();
        return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        streaming = code == VIDIOC_STREAMON;
        if (!streaming) {
            queued.assign(queued.size(), false);
        }
        changed.notify_all();
        return 0;
    case VIDIOC_G_PARM:
        parm.capability = V4L2_CAP_TIMEPERFRAME;
        parm.timeperframe = frameInterval;
        return 0;
    case VIDIOC_S_PARM:
        frameInterval = parm.timeperframe;
        return 0;
    case VIDIOC_QUERYCTRL: {
        auto& query = *static_cast<v4l2_queryctrl*>(argument);
        for (const Control& next : controls) {
            if ((query.id & V4L2_CTRL_FLAG_NEXT_CTRL) &&
                next.query.id > (query.id & ~V4L2_CTRL_FLAG_NEXT_CTRL)) {
                query = next.query;
                return 0;
            }
        }
        return EINVAL;
    }
    case VIDIOC_QUERYMENU: {
        auto& entry = *static_cast<v4l2_querymenu*>(argument);
        for (const Control& known : controls) {
            if (known.query.id == entry.id && entry.index < known.menu.size() &&
                !known.menu[entry.index].empty()) {
                std::strncpy(reinterpret_cast<char*>(entry.name), known.menu[entry.index].c_str(),
                             sizeof entry.name - 1);
                return 0;
            }
        }
        return EINVAL;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL:
        for (Control& known : controls) {
            if (known.query.id == control.id) {
                (code == VIDIOC_G_CTRL ? control.value : known.value) =
                    code == VIDIOC_G_CTRL ? known.value : control.value;
                return 0;
            }
        }
        return EINVAL;
    default:
        return ENOTTY;
    }
}
