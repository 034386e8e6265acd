#include "base/FileDescriptor.h"

#include <cerrno>
#include <cstdint>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

FileDescriptor::~FileDescriptor() {
    if (fd >= 0) {
        ::close(fd);
    }
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : fd(std::exchange(other.fd, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) {
            ::close(fd);
        }
        fd = std::exchange(other.fd, -1);
    }
    return *this;
}

FileDescriptor FileDescriptor::open(const std::string& path, int flags, mode_t mode) {
    int opened = -1;
    do {
        opened = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (opened < 0 && errno == EINTR);
    return FileDescriptor(opened);
}

bool FileDescriptor::writeAll(const void* bytes, std::size_t count) {
    const auto* next = static_cast<const std::uint8_t*>(bytes);
    while (count > 0) {
        const ssize_t written = ::write(fd, next, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        next += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

std::size_t FileDescriptor::readFully(void* buffer, std::size_t count) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, bytes + done, count - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool FileDescriptor::close() {
    // Linux releases the descriptor even when close fails, so it is never retried.
    return ::close(std::exchange(fd, -1)) == 0;
}
