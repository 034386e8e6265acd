#pragma once

#include "image/JpegErrorTrap.h"

#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE and size_t declared before it
#include <functional>
#include <string>

#include <jpeglib.h>

class FileDescriptor;

// Encodes one 24-bit image, given as the pixel rows of a bottom-up DIB (blue, green, red;
// rows padded to 4 bytes; bottom row first), into a baseline JFIF file with libjpeg-turbo's
// default tables scaled by the quality. The file is replaced through a new one (replaceFile),
// so a reader or an upload never sees half an image and the old file stays intact when
// anything fails. Library errors (disk full, an empty image) fail the write instead of
// ending the process, and print nothing.
class JpegWriter {
public:
    JpegWriter();
    virtual ~JpegWriter();
    JpegWriter(const JpegWriter&) = delete;
    JpegWriter& operator=(const JpegWriter&) = delete;

    // Clamps the quality to 0..100 (the library treats 0 as 1), sets it with baseline
    // tables and returns the clamped value.
    int setQuality(int quality);

    // Writes the image to fileName. Returns 0 on success, -1 with errno saying why when the
    // file cannot be created or written; the image is then not encoded, or the partial file
    // is removed. beforeRename, when given, sees the complete new file before it takes the
    // name (ReplacePolicy).
    int write(const std::uint8_t* rows, int width, int height, const std::string& fileName,
              const std::function<void(const std::string&)>& beforeRename = {});

private:
    bool encode(const std::uint8_t* rows, int width, int height, FileDescriptor& file);

    // Silent: the caller tells why a write failed, once, and not at every image.
    JpegErrorTrap trap_{JpegErrorTrap::Warnings::Allowed, JpegErrorTrap::Messages::Silent};
    jpeg_compress_struct compressor_;
    bool created_;
};
