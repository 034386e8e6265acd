#include "capture/DibFile.h"

#include "platform/Surface.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t fileHeaderBytes = 14;
constexpr std::size_t infoHeaderBytes = 40;

// Owns a file descriptor; closes it unless released.
class OwnedFd {
public:
    explicit OwnedFd(int fd)
        : fd(fd) {}
    ~OwnedFd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;

    int get() const { return fd; }
    int release() { return std::exchange(fd, -1); }

private:
    int fd;
};

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

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

    // The file is overwritten in place rather than truncated first: the frame file has the
    // same size at every grab, and ext4 flushes a file that was truncated to zero and
    // written again when it is closed, which would make every grab wait for the disk.
    OwnedFd file(::open(fileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (file.get() < 0) {
        return false;
    }
    const auto total = static_cast<off_t>(header.size() + imageBytes);
    struct stat status {};
    const bool written = writeAll(file.get(), header.data(), header.size()) &&
                         writeAll(file.get(), frame.bits(), imageBytes) &&
                         ::fstat(file.get(), &status) == 0 &&
                         (status.st_size <= total || ::ftruncate(file.get(), total) == 0);
    return ::close(file.release()) == 0 && written;
}
