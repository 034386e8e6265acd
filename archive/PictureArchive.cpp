#include "archive/PictureArchive.h"

#include "base/FileDescriptor.h"
#include "base/FileTarget.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::time_t secondsPerDay = 24 * 60 * 60;
// Names tried with a suffix before a picture is given up.
constexpr unsigned maxSuffix = 1000;

// A folder the program may use: a folder, or a link of the user's own to one.
bool isUsableFolder(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return false;
    }
    if (S_ISLNK(status.st_mode) &&
        (status.st_uid != ::geteuid() || ::stat(path.c_str(), &status) != 0)) {
        errno = EPERM;
        return false;
    }
    errno = S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    return S_ISDIR(status.st_mode);
}

// The folders from root down to the one holding name, relative to root, opened without
// following any link below root; -1 when one of them is not a plain folder.
FileDescriptor openFolderOf(const std::string& root, const std::string& name) {
    FileDescriptor folder = FileDescriptor::open(root, O_RDONLY | O_DIRECTORY);
    const std::filesystem::path relative =
        std::filesystem::path(name).lexically_relative(root).parent_path();
    for (const auto& part : relative) {
        if (!folder.isOpen() || part == ".") {
            continue;
        }
        folder = FileDescriptor(
            ::openat(folder.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return folder;
}

} // namespace

PictureArchive::PictureArchive(TimePattern pattern, Limits limits)
    : pattern_(std::move(pattern))
    , limits_(limits) {
    if (limits_.days != 0 || limits_.bytes != 0) {
        worker_ = std::thread([this] { work(); });
    }
}

PictureArchive::~PictureArchive() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

std::optional<std::string> PictureArchive::keep(const std::string& newFile, std::time_t moment) {
    const std::string name = pattern_.expand(moment);
    if (!makeFolders(name)) {
        health_.failed("folder of " + name + ": " + std::strerror(errno));
        return std::nullopt;
    }
    for (unsigned number = 0; number < maxSuffix; ++number) {
        const std::string kept = pattern_.withSuffix(name, number);
        // A second name where that can be, else a copy; neither replaces a name in use.
        const bool stored = ::link(newFile.c_str(), kept.c_str()) == 0 ||
                            (errno != EEXIST && errno != ENOSPC && copyTo(newFile, kept));
        if (stored) {
            return remember(kept, moment);
        }
        // The worker may have just removed the folder with its last picture.
        if (errno == ENOENT && number == 0 && makeFolders(name) &&
            ::link(newFile.c_str(), kept.c_str()) == 0) {
            return remember(kept, moment);
        }
        if (errno != EEXIST) {
            health_.failed(kept + ": " + std::strerror(errno));
            return std::nullopt;
        }
    }
    health_.failed(name + ": " + std::strerror(EEXIST));
    return std::nullopt;
}

std::string PictureArchive::remember(const std::string& kept, std::time_t moment) {
    struct stat status {};
    ::lstat(kept.c_str(), &status);
    const Picture picture{kept, static_cast<std::uint64_t>(status.st_size)};
    std::lock_guard lock(mutex_);
    pictures_.emplace(moment, picture);
    bytes_ += picture.bytes;
    if (scanning_) {
        keptWhileScanning_.emplace_back(moment, picture);
    }
    health_.succeeded();
    return kept;
}

bool PictureArchive::makeFolders(const std::string& name) {
    std::filesystem::path folder;
    for (const auto& part : std::filesystem::path(name).parent_path()) {
        folder /= part;
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
        if (!isUsableFolder(folder.string())) {
            return false;
        }
    }
    return true;
}

// Copies through a hidden file that then takes the name as a second name, so that the
// name never shows half a picture and is never taken from a file already there.
bool PictureArchive::copyTo(const std::string& source, const std::string& name) {
    const std::filesystem::path path(name);
    const std::string temporary =
        (path.parent_path() / ("." + path.filename().string() + ".kavri")).string();
    FileDescriptor in = openFileForReading(source);
    FileDescriptor out = FileDescriptor::open(
        temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    const bool created = out.isOpen();
    bool copied = in.isOpen() && created;
    std::array<char, 65536> buffer{};
    ssize_t length = 0;
    while (copied && (length = ::read(in.get(), buffer.data(), buffer.size())) > 0) {
        copied = out.writeAll(buffer.data(), static_cast<std::size_t>(length));
    }
    copied = copied && length == 0 && out.close();
    copied = copied && ::link(temporary.c_str(), name.c_str()) == 0;
    const int error = errno;
    if (created) {
        ::unlink(temporary.c_str());
    }
    errno = error;
    return copied;
}

void PictureArchive::prune(std::time_t now) {
    if (!worker_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        pruneAt_ = now;
    }
    changed_.notify_all();
}

void PictureArchive::waitIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !pruneAt_ && !busy_; });
}

void PictureArchive::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return ending_ || pruneAt_; });
        if (ending_) {
            return;
        }
        const std::time_t now = *std::exchange(pruneAt_, std::nullopt);
        busy_ = true;
        if (!lastScan_ || now - *lastScan_ >= secondsPerDay || now < *lastScan_) {
            rescan(lock, now);
        }
        const std::time_t oldest = now - static_cast<std::time_t>(limits_.days) * secondsPerDay;
        while (!pictures_.empty() && !ending_) {
            const auto first = pictures_.begin();
            if (!(limits_.days != 0 && first->first < oldest) &&
                !(limits_.bytes != 0 && bytes_ > limits_.bytes)) {
                break;
            }
            const Picture picture = first->second;
            bytes_ -= picture.bytes;
            pictures_.erase(first);
            lock.unlock();
            remove(picture.name);
            lock.lock();
        }
        busy_ = false;
        changed_.notify_all();
    }
}

void PictureArchive::rescan(std::unique_lock<std::mutex>& lock, std::time_t now) {
    scanning_ = true;
    keptWhileScanning_.clear();
    lock.unlock();
    Index found = scan();
    lock.lock();
    scanning_ = false;
    // A picture kept during the look may or may not have been seen by it.
    for (auto& [moment, picture] : keptWhileScanning_) {
        const auto [from, to] = found.equal_range(moment);
        const std::string& name = picture.name;
        if (std::none_of(from, to, [&](const auto& seen) { return seen.second.name == name; })) {
            found.emplace(moment, std::move(picture));
        }
    }
    pictures_ = std::move(found);
    bytes_ = 0;
    for (const auto& [moment, picture] : pictures_) {
        bytes_ += picture.bytes;
    }
    lastScan_ = now;
}

PictureArchive::Index PictureArchive::scan() const {
    Index found;
    const std::string root = pattern_.root();
    std::error_code error;
    std::filesystem::recursive_directory_iterator entries(root, error);
    for (; !error && entries != std::filesystem::recursive_directory_iterator();
         entries.increment(error)) {
        struct stat status {};
        const std::string name = root == "." ? entries->path().lexically_relative(".").string()
                                             : entries->path().lexically_normal().string();
        const std::optional<std::time_t> moment = pattern_.match(name);
        if (moment && ::lstat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            status.st_uid == ::geteuid()) {
            found.emplace(*moment, Picture{name, static_cast<std::uint64_t>(status.st_size)});
        }
    }
    return found;
}

void PictureArchive::remove(const std::string& name) {
    const std::string root = pattern_.root();
    const FileDescriptor folder = openFolderOf(root, name);
    const std::string file = std::filesystem::path(name).filename().string();
    struct stat status {};
    if (!folder.isOpen() ||
        ::fstatat(folder.get(), file.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
        ::unlinkat(folder.get(), file.c_str(), 0) != 0) {
        return;
    }
    // The folders it leaves empty, up to the root; one that holds anything stays.
    std::filesystem::path folderName =
        std::filesystem::path(name).parent_path().lexically_relative(root);
    while (!folderName.empty() && folderName != ".") {
        const std::string path = (std::filesystem::path(root) / folderName).string();
        const FileDescriptor parent = openFolderOf(root, path);
        if (!parent.isOpen() ||
            ::unlinkat(parent.get(), folderName.filename().c_str(), AT_REMOVEDIR) != 0) {
            return;
        }
        folderName = folderName.parent_path();
    }
}
