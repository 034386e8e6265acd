#pragma once

#include "capture/v4l2/V4l2Device.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A device streaming into memory-mapped buffers: start asks for bufferCount buffers, maps
// and queues each and switches the stream on. Whatever of that was done, the destructor
// undoes: it switches the stream off, unmaps the buffers and gives them back to the device,
// which must outlive the stream.
class V4l2Stream {
public:
    static constexpr std::uint32_t bufferCount = 4;

    // The stream, or null when it cannot start (told on stderr for the camera at path).
    static std::unique_ptr<V4l2Stream> start(V4l2Device& device, const std::string& path);
    ~V4l2Stream();
    V4l2Stream(const V4l2Stream&) = delete;
    V4l2Stream& operator=(const V4l2Stream&) = delete;

    // The buffer with this index, which a dequeued buffer names; null when there is none.
    const V4l2Device::Mapping* buffer(std::uint32_t index) const;

private:
    explicit V4l2Stream(V4l2Device& device)
        : device_(device) {}
    bool mapAndQueue(const std::string& path, std::uint32_t count);

    V4l2Device& device_;
    std::vector<std::unique_ptr<V4l2Device::Mapping>> buffers_;
};
