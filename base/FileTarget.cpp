#include "base/FileTarget.h"

#include <cerrno>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// As many links in a row as the kernel follows itself.
constexpr int maxLinksFollowed = 40;

std::optional<std::string> readLink(const std::string& link, off_t sizeBytes) {
    std::vector<char> text(static_cast<std::size_t>(sizeBytes > 0 ? sizeBytes : 255) + 1);
    const ssize_t length = ::readlink(link.c_str(), text.data(), text.size());
    // A link that grew since lstat is refused rather than read in part.
    if (length < 0 || static_cast<std::size_t>(length) >= text.size()) {
        return std::nullopt;
    }
    return std::string(text.data(), static_cast<std::size_t>(length));
}

bool sameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

} // namespace

std::optional<FileTarget> findFileTarget(const std::string& name) {
    // Every refusal leaves errno saying why, for whoever reports it.
    if (name.empty()) {
        errno = ENOENT;
        return std::nullopt;
    }
    FileTarget target{name, std::nullopt};
    for (int linksFollowed = 0; linksFollowed <= maxLinksFollowed; ++linksFollowed) {
        struct stat status {};
        if (::lstat(target.path.c_str(), &status) != 0) {
            if (errno != ENOENT) {
                return std::nullopt;
            }
            return target;
        }
        if (S_ISREG(status.st_mode)) {
            target.status = status;
            return target;
        }
        if (!S_ISLNK(status.st_mode) || status.st_uid != ::geteuid()) {
            errno = S_ISDIR(status.st_mode) ? EISDIR : EPERM;
            return std::nullopt;
        }
        const std::optional<std::string> pointsTo = readLink(target.path, status.st_size);
        if (!pointsTo) {
            return std::nullopt;
        }
        // A relative link is relative to the directory that holds it.
        target.path = (std::filesystem::path(target.path).parent_path() / *pointsTo).string();
    }
    errno = ELOOP;
    return std::nullopt;
}

FileDescriptor openFileForReading(const std::string& name) {
    const std::optional<FileTarget> target = findFileTarget(name);
    if (!target || !target->status) {
        return FileDescriptor();
    }
    FileDescriptor file =
        FileDescriptor::open(target->path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
    struct stat status {};
    if (file.isOpen() && (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))) {
        errno = EPERM;
        return FileDescriptor();
    }
    return file;
}

FileDescriptor openOwnFileForRewriting(const std::string& name) {
    struct stat named {};
    if (::lstat(name.c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
        named.st_uid != ::geteuid() || named.st_nlink != 1) {
        return FileDescriptor();
    }
    FileDescriptor file = FileDescriptor::open(name, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
    struct stat opened {};
    // The name may have been swapped between the look and the opening.
    if (file.isOpen() && (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
                          !sameFile(opened, named) || opened.st_nlink != 1)) {
        return FileDescriptor();
    }
    return file;
}
