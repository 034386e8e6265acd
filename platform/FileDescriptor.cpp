#include "platform/FileDescriptor.h"

#include <cerrno>
#include <cstdint>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
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

FileDescriptor FileDescriptor::openRegularFile(const std::string& path) {
    // As many links in a row as the kernel follows.
    constexpr int linkLimit = 40;
    std::string name = path;
    for (int links = 0; links <= linkLimit; ++links) {
        FileDescriptor file = open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
        if (file.isOpen()) {
            struct stat status {};
            if (fstat(file.get(), &status) != 0) {
                return {};
            }
            if (!S_ISREG(status.st_mode)) {
                errno = EINVAL;
                return {};
            }
            return file;
        }
        if (errno != ELOOP) {
            return {};
        }
        // The name is a link. Its owner and its target are read from the link itself,
        // opened without following it, so that a link swapped in meanwhile is not read.
        const FileDescriptor link = open(name, O_PATH | O_NOFOLLOW);
        struct stat status {};
        if (!link.isOpen() || fstat(link.get(), &status) != 0) {
            return {};
        }
        if (!S_ISLNK(status.st_mode) || status.st_uid != geteuid()) {
            errno = ELOOP;
            return {};
        }
        std::string target(static_cast<std::size_t>(status.st_size) + 1, '\0');
        const ssize_t length = readlinkat(link.get(), "", target.data(), target.size());
        if (length <= 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) >= target.size()) {
            // The link changed since it was looked at.
            errno = ELOOP;
            return {};
        }
        target.resize(static_cast<std::size_t>(length));
        const auto slash = name.rfind('/');
        name = target.front() == '/' || slash == std::string::npos
                   ? target
                   : name.substr(0, slash + 1) + target;
    }
    errno = ELOOP;
    return {};
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
