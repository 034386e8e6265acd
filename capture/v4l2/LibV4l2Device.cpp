#include "capture/v4l2/LibV4l2Device.h"

#include <libv4l2.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

class LibMapping : public V4l2Device::Mapping {
public:
    LibMapping(void* start, std::size_t length)
        : start_(start)
        , length_(length) {}
    ~LibMapping() override { v4l2_munmap(start_, length_); }
    LibMapping(const LibMapping&) = delete;
    LibMapping& operator=(const LibMapping&) = delete;

    const std::uint8_t* data() const override { return static_cast<const std::uint8_t*>(start_); }
    std::size_t size() const override { return length_; }

private:
    void* start_;
    std::size_t length_;
};

// The number behind "video" in a node name, or nothing for other names.
std::optional<unsigned long> videoNumber(const std::string& name) {
    const std::string prefix = "video";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return std::stoul(name.substr(prefix.size()));
}

} // namespace

std::unique_ptr<V4l2Device> LibV4l2Device::open(const std::string& path) {
    const int plainFd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (plainFd < 0) {
        return nullptr;
    }
    // Without this flag libv4l2 would convert every frame inside VIDIOC_DQBUF whenever the
    // format was set to one the camera does not deliver itself.
    const int deviceFd = v4l2_fd_open(plainFd, V4L2_DISABLE_CONVERSION);
    if (deviceFd < 0) {
        const int error = errno;
        ::close(plainFd);
        errno = error;
        return nullptr;
    }
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        v4l2_close(deviceFd);
        return nullptr;
    }
    return std::unique_ptr<V4l2Device>(new LibV4l2Device(deviceFd, wakeFd));
}

std::vector<V4l2Node> LibV4l2Device::videoNodes(const std::string& directory,
                                                const std::string& stableDirectory) {
    std::vector<std::pair<unsigned long, V4l2Node>> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (auto number = videoNumber(entry.path().filename().string())) {
            found.emplace_back(*number, V4l2Node{entry.path().string(), {}});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::error_code noLinks;
    for (const auto& link : std::filesystem::directory_iterator(stableDirectory, noLinks)) {
        for (auto& [number, node] : found) {
            std::error_code notThere;
            if (std::filesystem::equivalent(link.path(), node.path, notThere)) {
                node.stableName = link.path().string();
            }
        }
    }
    std::vector<V4l2Node> nodes;
    for (auto& [number, node] : found) {
        nodes.push_back(std::move(node));
    }
    return nodes;
}

LibV4l2Device::LibV4l2Device(int deviceFd, int wakeFd)
    : deviceFd_(deviceFd)
    , wakeFd_(wakeFd)
    , converter_(*this, deviceFd) {}

LibV4l2Device::~LibV4l2Device() {
    v4l2_close(deviceFd_);
    ::close(wakeFd_);
}

int LibV4l2Device::request(unsigned long code, void* argument) {
    return v4l2_ioctl(deviceFd_, code, argument) == -1 ? errno : 0;
}

std::unique_ptr<V4l2Device::Mapping> LibV4l2Device::map(std::size_t length, std::uint32_t offset) {
    void* start = v4l2_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, deviceFd_,
                            static_cast<std::int64_t>(offset));
    if (start == MAP_FAILED) {
        return nullptr;
    }
    return std::make_unique<LibMapping>(start, length);
}

int LibV4l2Device::waitForFrame(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{deviceFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(timeout.count()));
    if (ready < 0) {
        return errno;
    }
    if (ready == 0) {
        return ETIMEDOUT;
    }
    if (fds[1].revents & POLLIN) {
        std::uint64_t count = 0;
        if (::read(wakeFd_, &count, sizeof count) < 0) {
            return errno;
        }
        return ECANCELED;
    }
    return 0;
}

void LibV4l2Device::wake() {
    const std::uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can go wrong here.
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

bool LibV4l2Device::convert(const v4l2_pix_format& format, const std::uint8_t* data,
                            std::size_t size, int reduction, std::optional<Surface>& frame) {
    return converter_.convert(format, data, size, reduction, frame);
}

std::optional<v4l2_pix_format> LibV4l2Device::libraryFormat(std::uint32_t width,
                                                            std::uint32_t height) {
    return converter_.libraryFormat(width, height);
}
