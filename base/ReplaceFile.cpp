#include "base/ReplaceFile.h"

#include "base/FileDescriptor.h"
#include "base/FileTarget.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace {

// A dot and ten random letters or digits: hidden from a plain listing, too many to guess
// (62^10), and short, so that a target whose name is close to the longest a directory
// allows still gets one.
std::optional<std::string> randomTemporaryName() {
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::array<unsigned char, 10> random{};
    if (::getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size())) {
        return std::nullopt;
    }
    std::string name = ".kavri-";
    for (const unsigned char byte : random) {
        name += alphabet[byte % alphabet.size()];
    }
    return name;
}

std::filesystem::path directoryOf(const std::string& path) {
    const std::filesystem::path directory = std::filesystem::path(path).parent_path();
    return directory.empty() ? std::filesystem::path(".") : directory;
}

// Creates a new file in directory and returns it with its name. O_EXCL makes sure it is a
// new file, not one, or a link, somebody put under that name first.
FileDescriptor createTemporaryIn(const std::filesystem::path& directory, mode_t mode,
                                 std::string& temporaryName) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::optional<std::string> name = randomTemporaryName();
        if (!name) {
            return FileDescriptor();
        }
        temporaryName = (directory / *name).string();
        FileDescriptor file = FileDescriptor::open(
            temporaryName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, mode);
        if (file.isOpen() || errno != EEXIST) {
            return file;
        }
    }
    return FileDescriptor();
}

// The target, if replaceFile may replace it: allowed, and writable to the user if it
// exists (a file somebody made read-only for the user is not taken from them by a rename).
std::optional<FileTarget> replaceableTarget(const std::string& path) {
    std::optional<FileTarget> target = findFileTarget(path);
    if (target && target->status && ::access(target->path.c_str(), W_OK) != 0) {
        return std::nullopt;
    }
    return target;
}

// The group first: a change of group may clear permission bits that the mode then sets.
void takeModeAndGroup(const FileDescriptor& file, const struct stat& replaced) {
    if (replaced.st_gid != ::getegid()) {
        [[maybe_unused]] const int ignored =
            ::fchown(file.get(), static_cast<uid_t>(-1), replaced.st_gid);
    }
    ::fchmod(file.get(), replaced.st_mode & 0777);
}

} // namespace

bool replaceFile(const std::string& path, const std::function<bool(FileDescriptor&)>& writeContents,
                 const ReplacePolicy& policy) {
    const std::optional<FileTarget> target = replaceableTarget(path);
    if (!target) {
        return false;
    }
    std::string temporaryName;
    FileDescriptor file =
        createTemporaryIn(directoryOf(target->path), policy.newFileMode, temporaryName);
    if (!file.isOpen()) {
        return false;
    }
    if (policy.keepModeAndGroup && target->status) {
        takeModeAndGroup(file, *target->status);
    }
    bool written = writeContents(file);
    written = (!policy.flushToDisk || ::fsync(file.get()) == 0) && written;
    written = file.close() && written;
    if (written && policy.beforeRename) {
        policy.beforeRename(temporaryName);
    }
    if (!written || std::rename(temporaryName.c_str(), target->path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporaryName.c_str());
        errno = error;
        return false;
    }
    return true;
}

bool canReplaceFile(const std::string& path) {
    const std::optional<FileTarget> target = replaceableTarget(path);
    if (!target) {
        return false;
    }
    std::string temporaryName;
    if (!createTemporaryIn(directoryOf(target->path), 0600, temporaryName).isOpen()) {
        return false;
    }
    ::unlink(temporaryName.c_str());
    return true;
}
