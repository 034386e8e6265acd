#include "capture/v4l2/V4l2Formats.h"

#include <algorithm>
#include <array>

namespace {

// The camera's own formats the program likes best, best first.
constexpr std::array<std::uint32_t, 3> preferredFormats = {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_JPEG,
                                                           V4L2_PIX_FMT_YUYV};

// Sizes offered for a camera that takes any size within a range.
constexpr std::array<FrameSize, 10> commonSizes = {{{160, 120},
                                                    {176, 144},
                                                    {320, 240},
                                                    {352, 288},
                                                    {640, 480},
                                                    {800, 600},
                                                    {1024, 768},
                                                    {1280, 720},
                                                    {1280, 960},
                                                    {1920, 1080}}};

bool fitsStep(std::uint32_t value, std::uint32_t minimum, std::uint32_t maximum,
              std::uint32_t step) {
    return value >= minimum && value <= maximum && (step == 0 || (value - minimum) % step == 0);
}

bool isPreferred(std::uint32_t pixelFormat) {
    return std::find(preferredFormats.begin(), preferredFormats.end(), pixelFormat) !=
           preferredFormats.end();
}

} // namespace

V4l2Formats::V4l2Formats(V4l2Device& device) {
    for (std::uint32_t index = 0;; ++index) {
        v4l2_fmtdesc description{};
        description.index = index;
        description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device.request(VIDIOC_ENUM_FMT, &description) != 0) {
            break;
        }
        if (!(description.flags & V4L2_FMT_FLAG_EMULATED)) {
            formats_.push_back(
                {description.pixelformat, enumerateSizes(device, description.pixelformat)});
        }
    }
    const auto rank = [](const OwnFormat& own) {
        return std::find(preferredFormats.begin(), preferredFormats.end(), own.pixelFormat) -
               preferredFormats.begin();
    };
    std::stable_sort(formats_.begin(), formats_.end(),
                     [&](const OwnFormat& a, const OwnFormat& b) { return rank(a) < rank(b); });
    for (const OwnFormat& own : formats_) {
        for (const FrameSize& offered : own.sizes) {
            if (!offers(offered)) {
                sizes_.push_back(offered);
            }
        }
    }
}

bool V4l2Formats::offers(FrameSize size) const {
    return std::find(sizes_.begin(), sizes_.end(), size) != sizes_.end();
}

std::vector<FrameSize> V4l2Formats::enumerateSizes(V4l2Device& device, std::uint32_t pixelFormat) {
    std::vector<FrameSize> found;
    for (std::uint32_t index = 0;; ++index) {
        v4l2_frmsizeenum entry{};
        entry.index = index;
        entry.pixel_format = pixelFormat;
        if (device.request(VIDIOC_ENUM_FRAMESIZES, &entry) != 0) {
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

std::optional<v4l2_pix_format> V4l2Formats::choose(FrameSize wanted, V4l2Device& device) const {
    v4l2_pix_format request{};
    request.width = static_cast<std::uint32_t>(std::max(wanted.width, 0));
    request.height = static_cast<std::uint32_t>(std::max(wanted.height, 0));
    request.field = V4L2_FIELD_NONE;
    std::optional<std::uint32_t> preferredAtAnySize;
    for (const OwnFormat& own : formats_) {
        if (!isPreferred(own.pixelFormat)) {
            break;
        }
        if (std::find(own.sizes.begin(), own.sizes.end(), wanted) != own.sizes.end()) {
            request.pixelformat = own.pixelFormat;
            return request;
        }
        preferredAtAnySize = preferredAtAnySize.value_or(own.pixelFormat);
    }
    const auto fromLibrary = device.libraryFormat(request.width, request.height);
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
