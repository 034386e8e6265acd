#include "image/JpegWriter.h"

#include "platform/Surface.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Creates a new, unique file next to target (same directory, so the final rename stays on
// one file system) with the usual permissions, and returns it with its name.
FilePtr createTemporaryNextTo(const std::string& target, std::string& temporaryName) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryName = target + ".tmp-" + std::to_string(::getpid()) + "-" +
                        std::to_string(counter.fetch_add(1));
        const int fd = ::open(temporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (std::FILE* file = ::fdopen(fd, "wb")) {
                return FilePtr(file);
            }
            ::close(fd);
            ::unlink(temporaryName.c_str());
            return nullptr;
        }
        if (errno != EEXIST) {
            return nullptr;
        }
    }
    return nullptr;
}

} // namespace

JpegWriter::JpegWriter()
    : compressor{}
    , created(false) {
    compressor.err = trap.manager();
    created = trap.run([this] {
        jpeg_create_compress(&compressor);
        // The defaults depend on the input colour space, so it is set first. The pixels
        // are blue first, as a DIB holds them.
        compressor.in_color_space = JCS_EXT_BGR;
        compressor.input_components = 3;
        jpeg_set_defaults(&compressor);
    });
}

JpegWriter::~JpegWriter() {
    if (created) {
        jpeg_destroy_compress(&compressor);
    }
}

int JpegWriter::setQuality(int quality) {
    const int clamped = quality < 0 ? 0 : (quality > 100 ? 100 : quality);
    if (created) {
        trap.run([this, clamped] { jpeg_set_quality(&compressor, clamped, TRUE); });
    }
    return clamped;
}

int JpegWriter::write(const std::uint8_t* rows, int width, int height,
                      const std::string& fileName) {
    if (!created) {
        return -1;
    }
    std::string temporaryName;
    FilePtr file = createTemporaryNextTo(fileName, temporaryName);
    if (!file) {
        return -1;
    }
    bool written = encode(rows, width, height, file.get());
    written = std::fflush(file.get()) == 0 && !std::ferror(file.get()) && written;
    written = std::fclose(file.release()) == 0 && written;
    if (!written || std::rename(temporaryName.c_str(), fileName.c_str()) != 0) {
        ::unlink(temporaryName.c_str());
        return -1;
    }
    return 0;
}

bool JpegWriter::encode(const std::uint8_t* rows, int width, int height, std::FILE* file) {
    const bool encoded = trap.run([&] {
        jpeg_default_colorspace(&compressor);
        compressor.in_color_space = JCS_EXT_BGR;
        compressor.input_components = 3;
        compressor.data_precision = 8;
        compressor.image_width = static_cast<JDIMENSION>(width);
        compressor.image_height = static_cast<JDIMENSION>(height);
        jpeg_stdio_dest(&compressor, file);
        jpeg_start_compress(&compressor, TRUE);
        // The last row in memory is the top of the image: hand the rows over top first.
        const std::size_t stride = Surface::strideFor(width);
        while (compressor.next_scanline < compressor.image_height) {
            const std::size_t fromBottom = compressor.image_height - 1 - compressor.next_scanline;
            auto* row = const_cast<JSAMPLE*>(rows + fromBottom * stride);
            jpeg_write_scanlines(&compressor, &row, 1);
        }
        jpeg_finish_compress(&compressor);
    });
    if (!encoded) {
        // Leaves the compressor ready for another image; the destination is dropped.
        jpeg_abort_compress(&compressor);
    }
    return encoded;
}
