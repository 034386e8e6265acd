#include "capture/v4l2/FrameConverter.h"

#include <libv4l-plugin.h>
#include <libv4lconvert.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

bool isJpeg(std::uint32_t pixelFormat) {
    return pixelFormat == V4L2_PIX_FMT_MJPEG || pixelFormat == V4L2_PIX_FMT_JPEG;
}

// Two pixels in four bytes (two luma samples and one pair of chroma samples).
bool isPacked422(std::uint32_t pixelFormat) {
    return pixelFormat == V4L2_PIX_FMT_YUYV || pixelFormat == V4L2_PIX_FMT_YVYU ||
           pixelFormat == V4L2_PIX_FMT_UYVY;
}

// libv4lconvert's requests go through the device, so a fake device answers them too.
int requestThrough(void* device, int, unsigned long code, void* argument) {
    if (const int error = static_cast<V4l2Device*>(device)->request(code, argument)) {
        errno = error;
        return -1;
    }
    return 0;
}

const libv4l_dev_ops deviceOps = [] {
    libv4l_dev_ops ops{};
    ops.ioctl = requestThrough;
    return ops;
}();

// Copies rows (top first, stride bytes apart, 3 bytes per pixel) into frame.
bool copyRows(const std::uint8_t* rows, std::size_t stride, int width, int height,
              std::optional<Surface>& frame) {
    if (!frame || frame->width() != width || frame->height() != height) {
        frame = Surface::create(width, height);
        if (!frame) {
            return false;
        }
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(frame->rowFromTop(y), rows + static_cast<std::size_t>(y) * stride,
                    static_cast<std::size_t>(width) * 3);
    }
    return true;
}

// The bytes a frame of width pixels per row and height rows, stride bytes apart, occupies.
std::size_t spanOf(std::size_t stride, std::size_t rowBytes, std::uint32_t height) {
    return height == 0 ? 0 : stride * (height - 1) + rowBytes;
}

} // namespace

void FrameConverter::LibraryDeleter::operator()(v4lconvert_data* library) const {
    v4lconvert_destroy(library);
}

FrameConverter::FrameConverter(V4l2Device& device, int fd)
    : device_(device)
    , fd_(fd) {}

FrameConverter::~FrameConverter() = default;

v4lconvert_data* FrameConverter::library() {
    if (!libraryTried_) {
        libraryTried_ = true;
        converter_.reset(v4lconvert_create_with_dev_ops(fd_, &device_, &deviceOps));
    }
    return converter_.get();
}

std::optional<v4l2_pix_format> FrameConverter::libraryFormat(std::uint32_t width,
                                                             std::uint32_t height) {
    v4lconvert_data* const convert = library();
    if (convert == nullptr) {
        return std::nullopt;
    }
    v4l2_format wanted{};
    wanted.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    wanted.fmt.pix.width = width;
    wanted.fmt.pix.height = height;
    wanted.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    wanted.fmt.pix.field = V4L2_FIELD_NONE;
    v4l2_format source{};
    // Where the library can convert nothing it passes the request on to the device, which
    // may answer with a format of its own: only a BGR24 answer is one to use.
    if (v4lconvert_try_format(convert, &wanted, &source) != 0 ||
        wanted.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24) {
        return std::nullopt;
    }
    return source.fmt.pix;
}

bool FrameConverter::convert(const v4l2_pix_format& format, const std::uint8_t* data,
                             std::size_t size, int reduction, std::optional<Surface>& frame) {
    const auto width = static_cast<int>(format.width);
    const auto height = static_cast<int>(format.height);
    if (isJpeg(format.pixelformat)) {
        return jpeg_.decode(data, size, width, height, reduction, frame);
    }
    if (format.pixelformat == V4L2_PIX_FMT_BGR24) {
        const std::size_t rowBytes = std::size_t{3} * format.width;
        const std::size_t stride = std::max<std::size_t>(format.bytesperline, rowBytes);
        return size >= spanOf(stride, rowBytes, format.height) &&
               copyRows(data, stride, width, height, frame);
    }
    const int kept = 2 * (width / reduction / 2);
    if (!isPacked422(format.pixelformat) || reduction <= 1 || kept < 2 || height < reduction) {
        return convertInLibrary(format, data, size, frame);
    }
    // Every reduction-th row, and of it every reduction-th pair of pixels.
    const std::size_t rowBytes = std::size_t{2} * format.width;
    const std::size_t stride = std::max<std::size_t>(format.bytesperline, rowBytes);
    if (size < spanOf(stride, rowBytes, format.height)) {
        return false;
    }
    v4l2_pix_format smaller = format;
    smaller.width = static_cast<std::uint32_t>(kept);
    smaller.height = static_cast<std::uint32_t>(height / reduction);
    smaller.bytesperline = smaller.width * 2;
    smaller.sizeimage = smaller.bytesperline * smaller.height;
    reduced_.resize(smaller.sizeimage);
    std::uint8_t* out = reduced_.data();
    const auto step = static_cast<std::size_t>(reduction);
    for (std::uint32_t y = 0; y < smaller.height; ++y) {
        const std::uint8_t* in = data + y * step * stride;
        for (int pair = 0; pair < kept / 2; ++pair, out += 4) {
            std::memcpy(out, in + static_cast<std::size_t>(pair) * step * 4, 4);
        }
    }
    return convertInLibrary(smaller, reduced_.data(), reduced_.size(), frame);
}

bool FrameConverter::convertInLibrary(const v4l2_pix_format& format, const std::uint8_t* data,
                                      std::size_t size, std::optional<Surface>& frame) {
    v4lconvert_data* const convert = library();
    const std::size_t rowBytes = std::size_t{3} * format.width;
    const std::size_t bytes = rowBytes * format.height;
    if (convert == nullptr || bytes == 0 ||
        std::max(bytes, size) > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    v4l2_format from{};
    from.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    from.fmt.pix = format;
    v4l2_format to = from;
    to.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    to.fmt.pix.bytesperline = static_cast<std::uint32_t>(rowBytes);
    to.fmt.pix.sizeimage = static_cast<std::uint32_t>(bytes);
    converted_.resize(bytes);
    // The library only reads the frame, though its interface is not const.
    const int made =
        v4lconvert_convert(convert, &from, &to, const_cast<std::uint8_t*>(data),
                           static_cast<int>(size), converted_.data(), static_cast<int>(bytes));
    return made == static_cast<int>(bytes) &&
           copyRows(converted_.data(), rowBytes, static_cast<int>(format.width),
                    static_cast<int>(format.height), frame);
}
