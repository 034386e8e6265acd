#include "image/MjpegDecoder.h"

#include <algorithm>
#include <array>

MjpegDecoder::MjpegDecoder()
    : decompressor_{}
    , created_(false) {
    decompressor_.err = trap_.manager();
    created_ = trap_.run([this] { jpeg_create_decompress(&decompressor_); });
}

MjpegDecoder::~MjpegDecoder() {
    if (created_) {
        jpeg_destroy_decompress(&decompressor_);
    }
}

bool MjpegDecoder::decode(const std::uint8_t* data, std::size_t size, int width, int height,
                          int scaleDenominator, std::optional<Surface>& frame) {
    if (!created_ || size == 0) {
        return false;
    }
    // Library errors jump out of the step; a frame of the wrong size leaves it early.
    bool complete = false;
    const bool ran = trap_.run([&] {
        jpeg_mem_src(&decompressor_, data, static_cast<unsigned long>(size));
        jpeg_read_header(&decompressor_, TRUE);
        if (decompressor_.image_width != static_cast<JDIMENSION>(width) ||
            decompressor_.image_height != static_cast<JDIMENSION>(height)) {
            return;
        }
        decompressor_.out_color_space = JCS_EXT_BGR;
        decompressor_.scale_num = 1;
        decompressor_.scale_denom = static_cast<unsigned>(scaleDenominator);
        jpeg_calc_output_dimensions(&decompressor_);
        const auto outWidth = static_cast<int>(decompressor_.output_width);
        const auto outHeight = static_cast<int>(decompressor_.output_height);
        if (!frame || frame->width() != outWidth || frame->height() != outHeight) {
            frame = Surface::create(outWidth, outHeight);
            if (!frame) {
                return;
            }
        }
        jpeg_start_decompress(&decompressor_);
        // Several rows per call, as many as the decoder makes at once.
        std::array<JSAMPROW, 16> rows{};
        while (decompressor_.output_scanline < decompressor_.output_height) {
            const int first = static_cast<int>(decompressor_.output_scanline);
            const int count = std::min(static_cast<int>(rows.size()), outHeight - first);
            for (int i = 0; i < count; ++i) {
                rows[static_cast<std::size_t>(i)] = frame->rowFromTop(first + i);
            }
            jpeg_read_scanlines(&decompressor_, rows.data(), static_cast<JDIMENSION>(count));
        }
        jpeg_finish_decompress(&decompressor_);
        complete = true;
    });
    if (!(ran && complete)) {
        // Ready for the next frame.
        jpeg_abort_decompress(&decompressor_);
        return false;
    }
    return true;
}
