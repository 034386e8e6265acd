#include "tests/support/JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr standard;
    std::jmp_buf jump;
};

void jumpOut(j_common_ptr decompressor) {
    std::longjmp(reinterpret_cast<ErrorManager*>(decompressor->err)->jump, 1);
}

void quiet(j_common_ptr) {}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool decode(std::FILE* file, jpeg_decompress_struct& decompressor, JpegImage& image) {
    jpeg_stdio_src(&decompressor, file);
    jpeg_read_header(&decompressor, TRUE);
    decompressor.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decompressor);
    image.width = static_cast<int>(decompressor.output_width);
    image.height = static_cast<int>(decompressor.output_height);
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    while (decompressor.output_scanline < decompressor.output_height) {
        JSAMPROW row = image.rgb.data() +
                       static_cast<std::size_t>(decompressor.output_scanline) * image.width * 3;
        jpeg_read_scanlines(&decompressor, &row, 1);
    }
    jpeg_finish_decompress(&decompressor);
    return true;
}

// Kept apart so that nothing in the frame that calls setjmp changes after it.
bool decodeGuarded(std::FILE* file, jpeg_decompress_struct& decompressor, ErrorManager& errors,
                   JpegImage& image) {
    if (setjmp(errors.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&decompressor);
    return decode(file, decompressor, image);
}

} // namespace

std::optional<JpegImage> JpegImage::read(const std::string& fileName) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    JpegImage image;
    ErrorManager errors{};
    jpeg_decompress_struct decompressor{};
    decompressor.err = jpeg_std_error(&errors.standard);
    errors.standard.error_exit = jumpOut;
    errors.standard.output_message = quiet;
    const bool ok = decodeGuarded(file.get(), decompressor, errors, image);
    jpeg_destroy_decompress(&decompressor);
    // libjpeg only warns about a file cut short; for these checks it is no image.
    if (!ok || errors.standard.num_warnings > 0) {
        return std::nullopt;
    }
    return image;
}
