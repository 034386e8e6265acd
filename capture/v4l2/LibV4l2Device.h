#pragma once

#include "capture/v4l2/FrameConverter.h"
#include "capture/v4l2/V4l2Device.h"

#include <string>
#include <vector>

// A video node opened through libv4l2 (which brings the plug-ins some cameras need) with
// libv4l2's own conversion switched off: the device streams in the camera's own pixel
// format, and only the frames that are used are converted, by a FrameConverter.
class LibV4l2Device : public V4l2Device {
public:
    // Opens path for reading and writing, without blocking; null when that fails.
    static std::unique_ptr<V4l2Device> open(const std::string& path);

    // The video nodes of directory (video0, video1, ...), in the order of their numbers, each
    // with the name of the link in stableDirectory that leads to it, if there is one.
    static std::vector<V4l2Node> videoNodes(const std::string& directory = "/dev",
                                            const std::string& stableDirectory = "/dev/v4l/by-id");

    ~LibV4l2Device() override;
    LibV4l2Device(const LibV4l2Device&) = delete;
    LibV4l2Device& operator=(const LibV4l2Device&) = delete;

    int request(unsigned long code, void* argument) override;
    std::unique_ptr<Mapping> map(std::size_t length, std::uint32_t offset) override;
    int waitForFrame(std::chrono::milliseconds timeout) override;
    void wake() override;
    bool convert(const v4l2_pix_format& format, const std::uint8_t* data, std::size_t size,
                 int reduction, std::optional<Surface>& frame) override;
    std::optional<v4l2_pix_format> libraryFormat(std::uint32_t width,
                                                 std::uint32_t height) override;

private:
    LibV4l2Device(int deviceFd, int wakeFd);

    int deviceFd_;
    int wakeFd_;
    FrameConverter converter_;
};
