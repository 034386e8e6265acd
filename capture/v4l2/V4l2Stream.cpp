#include "capture/v4l2/V4l2Stream.h"

#include "capture/v4l2/V4l2Log.h"

#include <linux/videodev2.h>

#include <cerrno>

std::unique_ptr<V4l2Stream> V4l2Stream::start(V4l2Device& device, const std::string& path) {
    v4l2_requestbuffers request{};
    request.count = bufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int error = device.request(VIDIOC_REQBUFS, &request)) {
        logV4l2Failure(path, "VIDIOC_REQBUFS failed", error);
        return nullptr;
    }
    std::unique_ptr<V4l2Stream> stream(new V4l2Stream(device));
    if (!stream->mapAndQueue(path, request.count)) {
        return nullptr;
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (stream->buffers_.empty() || device.request(VIDIOC_STREAMON, &type) != 0) {
        logV4l2Failure(path, "cannot start streaming", stream->buffers_.empty() ? ENOMEM : errno);
        return nullptr;
    }
    return stream;
}

bool V4l2Stream::mapAndQueue(const std::string& path, std::uint32_t count) {
    for (std::uint32_t index = 0; index < count; ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        int error = device_.request(VIDIOC_QUERYBUF, &buffer);
        auto mapping = error ? nullptr : device_.map(buffer.length, buffer.m.offset);
        if (!mapping) {
            logV4l2Failure(path, "cannot map a frame buffer", error ? error : errno);
            return false;
        }
        buffers_.push_back(std::move(mapping));
        if ((error = device_.request(VIDIOC_QBUF, &buffer)) != 0) {
            logV4l2Failure(path, "VIDIOC_QBUF failed", error);
            return false;
        }
    }
    return true;
}

V4l2Stream::~V4l2Stream() {
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    device_.request(VIDIOC_STREAMOFF, &type);
    buffers_.clear();
    v4l2_requestbuffers release{};
    release.count = 0;
    release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    release.memory = V4L2_MEMORY_MMAP;
    device_.request(VIDIOC_REQBUFS, &release);
}

const V4l2Device::Mapping* V4l2Stream::buffer(std::uint32_t index) const {
    return index < buffers_.size() ? buffers_[index].get() : nullptr;
}
