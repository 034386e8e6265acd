#include "capture/DibFile.h"

#include "platform/Surface.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

constexpr std::size_t fileHeaderBytes = 14;
constexpr std::size_t infoHeaderBytes = 40;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

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

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "wb"));
    if (!file) {
        return false;
    }
    bool written = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size() &&
                   std::fwrite(frame.bits(), 1, imageBytes, file.get()) == imageBytes;
    // The result of closing tells whether the buffered bytes reached the file.
    written = std::fclose(file.release()) == 0 && written;
    return written;
}
