#include "live/FrameEncoder.h"

#include "base/Surface.h"

#include <cstdlib>
#include <memory>

namespace {

struct FreeBuffer {
    void operator()(unsigned char* buffer) const { std::free(buffer); }
};

// The DHT segments of a JPEG file, in their order.
std::string dhtSegments(const std::string& jpeg) {
    std::string segments;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xFF) {
        const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
        const std::size_t length = static_cast<unsigned char>(jpeg[at + 2]) * 256u +
                                   static_cast<unsigned char>(jpeg[at + 3]);
        if (marker == 0xDA) {
            break;
        }
        if (marker == 0xC4) {
            segments += jpeg.substr(at, 2 + length);
        }
        at += 2 + length;
    }
    return segments;
}

} // namespace

FrameEncoder::FrameEncoder(int quality)
    : compressor{}
    , created(false)
    , quality_(quality) {
    compressor.err = trap.manager();
    created = trap.run([this] { jpeg_create_compress(&compressor); });
}

FrameEncoder::~FrameEncoder() {
    if (created) {
        jpeg_destroy_compress(&compressor);
    }
}

std::optional<std::string> FrameEncoder::encode(const Surface& picture) {
    if (!created) {
        return std::nullopt;
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ran = trap.run([&] {
        jpeg_mem_dest(&compressor, &buffer, &size);
        compressor.image_width = static_cast<JDIMENSION>(picture.width());
        compressor.image_height = static_cast<JDIMENSION>(picture.height());
        compressor.in_color_space = JCS_EXT_BGR;
        compressor.input_components = 3;
        jpeg_set_defaults(&compressor);
        jpeg_set_quality(&compressor, quality_, TRUE);
        jpeg_start_compress(&compressor, TRUE);
        while (compressor.next_scanline < compressor.image_height) {
            auto* row = const_cast<std::uint8_t*>(
                picture.rowFromTop(static_cast<int>(compressor.next_scanline)));
            jpeg_write_scanlines(&compressor, &row, 1);
        }
        jpeg_finish_compress(&compressor);
    });
    const std::unique_ptr<unsigned char, FreeBuffer> owned(buffer);
    if (!ran) {
        jpeg_abort_compress(&compressor);
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(buffer), size);
}

const std::string& FrameEncoder::standardHuffmanSegments() {
    static const std::string segments = [] {
        FrameEncoder encoder;
        const auto tiny = Surface::create(8, 8);
        const auto jpeg = tiny ? encoder.encode(*tiny) : std::nullopt;
        return jpeg ? dhtSegments(*jpeg) : std::string();
    }();
    return segments;
}
