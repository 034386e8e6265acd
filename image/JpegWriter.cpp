#include "image/JpegWriter.h"

#include "base/FileDescriptor.h"
#include "base/ReplaceFile.h"
#include "base/Surface.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <jerror.h>

namespace {

// A libjpeg destination that hands the compressed bytes to a file descriptor through a
// buffer. A failed write is a library error: it ends the encoding like any other, and its
// errno is kept for the caller.
struct DescriptorDestination {
    jpeg_destination_mgr manager;
    FileDescriptor* file;
    std::array<JOCTET, 16384> buffer;
    int writeError = 0;

    explicit DescriptorDestination(FileDescriptor& target)
        : manager{}
        , file(&target)
        , buffer{} {
        manager.init_destination = start;
        manager.empty_output_buffer = flushFull;
        manager.term_destination = finish;
    }

    static DescriptorDestination& of(j_compress_ptr compressor) {
        return *reinterpret_cast<DescriptorDestination*>(compressor->dest);
    }
    static void start(j_compress_ptr compressor) {
        DescriptorDestination& self = of(compressor);
        self.manager.next_output_byte = self.buffer.data();
        self.manager.free_in_buffer = self.buffer.size();
    }
    // Called with the whole buffer full, whatever free_in_buffer says.
    static boolean flushFull(j_compress_ptr compressor) {
        DescriptorDestination& self = of(compressor);
        if (!self.file->writeAll(self.buffer.data(), self.buffer.size())) {
            self.writeError = errno;
            ERREXIT(compressor, JERR_FILE_WRITE);
        }
        start(compressor);
        return TRUE;
    }
    static void finish(j_compress_ptr compressor) {
        DescriptorDestination& self = of(compressor);
        const std::size_t used = self.buffer.size() - self.manager.free_in_buffer;
        if (!self.file->writeAll(self.buffer.data(), used)) {
            self.writeError = errno;
            ERREXIT(compressor, JERR_FILE_WRITE);
        }
    }
};

} // namespace

JpegWriter::JpegWriter()
    : compressor_{}
    , created_(false) {
    compressor_.err = trap_.manager();
    created_ = trap_.run([this] {
        jpeg_create_compress(&compressor_);
        // The defaults depend on the input colour space, so it is set first. The pixels
        // are blue first, as a DIB holds them.
        compressor_.in_color_space = JCS_EXT_BGR;
        compressor_.input_components = 3;
        jpeg_set_defaults(&compressor_);
    });
}

JpegWriter::~JpegWriter() {
    if (created_) {
        jpeg_destroy_compress(&compressor_);
    }
}

int JpegWriter::setQuality(int quality) {
    const int clamped = quality < 0 ? 0 : (quality > 100 ? 100 : quality);
    if (created_) {
        trap_.run([this, clamped] { jpeg_set_quality(&compressor_, clamped, TRUE); });
    }
    return clamped;
}

int JpegWriter::write(const std::uint8_t* rows, int width, int height, const std::string& fileName,
                      const std::function<void(const std::string&)>& beforeRename) {
    if (!created_) {
        errno = ENOMEM;
        return -1;
    }
    // A JPEG file is often shared with a web server: the new one keeps the old one's
    // permissions and group.
    const bool written = replaceFile(
        fileName, [&](FileDescriptor& file) { return encode(rows, width, height, file); },
        {.keepModeAndGroup = true, .beforeRename = beforeRename});
    return written ? 0 : -1;
}

bool JpegWriter::encode(const std::uint8_t* rows, int width, int height, FileDescriptor& file) {
    // Outside the trap: a jump out of it must not skip a destructor.
    DescriptorDestination destination(file);
    const bool encoded = trap_.run([&] {
        jpeg_default_colorspace(&compressor_);
        compressor_.in_color_space = JCS_EXT_BGR;
        compressor_.input_components = 3;
        compressor_.data_precision = 8;
        compressor_.image_width = static_cast<JDIMENSION>(width);
        compressor_.image_height = static_cast<JDIMENSION>(height);
        compressor_.dest = &destination.manager;
        jpeg_start_compress(&compressor_, TRUE);
        // The last row in memory is the top of the image: hand the rows over top first.
        const std::size_t stride = Surface::strideFor(width);
        while (compressor_.next_scanline < compressor_.image_height) {
            const std::size_t fromBottom = compressor_.image_height - 1 - compressor_.next_scanline;
            auto* row = const_cast<JSAMPLE*>(rows + fromBottom * stride);
            jpeg_write_scanlines(&compressor_, &row, 1);
        }
        jpeg_finish_compress(&compressor_);
    });
    if (!encoded) {
        // Leaves the compressor ready for another image; the destination is dropped.
        jpeg_abort_compress(&compressor_);
        // Anything but a failed write is an image the library refused.
        errno = destination.writeError != 0 ? destination.writeError : EINVAL;
    }
    compressor_.dest = nullptr;
    return encoded;
}
