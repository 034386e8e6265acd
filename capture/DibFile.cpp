#include "capture/DibFile.h"

#include "base/FileDescriptor.h"
#include "base/FileTarget.h"
#include "base/ReplaceFile.h"
#include "base/Surface.h"

#include <array>
#include <cstdint>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t fileHeaderBytes = 14;
constexpr std::size_t infoHeaderBytes = 40;

template <std::size_t N>
void put(std::array<std::uint8_t, N>& bytes, std::size_t offset, std::uint32_t value,
         std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

} // namespace

bool writeDibFile(const Surface& frame, const std::string& fileName) {
    const std::size_t imageBytes = frame.stride() * static_cast<std::size_t>(frame.height());
    std::array<std::uint8_t, fileHeaderBytes + infoHeaderBytes> header{};
    header[0] = 'B';
    header[1] = 'M';
    put(header, 2, static_cast<std::uint32_t>(header.size() + imageBytes), 4); // bfSize
    put(header, 10, static_cast<std::uint32_t>(header.size()), 4);             // bfOffBits
    put(header, 14, infoHeaderBytes, 4);                                       // biSize
    put(header, 18, static_cast<std::uint32_t>(frame.width()), 4);
    put(header, 22, static_cast<std::uint32_t>(frame.height()), 4); // positive: bottom-up
    put(header, 26, 1, 2);                                          // biPlanes
    put(header, 28, 24, 2);                                         // biBitCount
    put(header, 34, static_cast<std::uint32_t>(imageBytes), 4);     // biSizeImage

    const auto total = static_cast<off_t>(header.size() + imageBytes);
    auto writeFrame = [&](FileDescriptor& file) {
        struct stat status {};
        return file.writeAll(header.data(), header.size()) &&
               file.writeAll(frame.bits(), imageBytes) && ::fstat(file.get(), &status) == 0 &&
               (status.st_size <= total || ::ftruncate(file.get(), total) == 0);
    };
    // The file is overwritten in place rather than truncated first: the frame file has the
    // same size at every grab, and ext4 flushes a file that was truncated to zero and
    // written again when it is closed, which would make every grab wait for the disk. Only
    // the program's own plain file is rewritten so; anything else under that name (a link
    // or a file somebody else put there) is replaced, by the rules of replaceFile.
    FileDescriptor file = openOwnFileForRewriting(fileName);
    if (!file.isOpen()) {
        return replaceFile(fileName, writeFrame, {.newFileMode = 0644});
    }
    const bool written = writeFrame(file);
    return file.close() && written;
}
