#include "archive/TimeLapse.h"

#include "archive/VideoJoin.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// How often the worker looks whether the day has ended while no frame comes.
constexpr std::chrono::seconds dayCheck{30};

bool exists(const std::string& name) {
    struct stat status {};
    return ::lstat(name.c_str(), &status) == 0;
}

bool makeFolders(const std::string& name) {
    std::filesystem::path folder;
    for (const auto& part : std::filesystem::path(name).parent_path()) {
        folder /= part;
        struct stat status {};
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
        // A folder, or a link of the user's own to one.
        if (::lstat(folder.c_str(), &status) != 0 ||
            (S_ISLNK(status.st_mode) &&
             (status.st_uid != ::geteuid() || ::stat(folder.c_str(), &status) != 0)) ||
            !S_ISDIR(status.st_mode)) {
            errno = ENOTDIR;
            return false;
        }
    }
    return true;
}

} // namespace

TimeLapse::TimeLapse(Options options)
    : options_(std::move(options))
    , worker_([this] { work(); }) {}

TimeLapse::~TimeLapse() {
    end();
}

void TimeLapse::add(const Surface& pixels, std::time_t moment) {
    {
        std::lock_guard lock(mutex_);
        const std::size_t bytes = pixels.stride() * static_cast<std::size_t>(pixels.height());
        if (ending_ || (!waiting_.empty() && waitingBytes_ + bytes > maxWaitingBytes)) {
            return;
        }
        waiting_.push_back({pixels, moment});
        waitingBytes_ += bytes;
    }
    changed_.notify_all();
}

std::vector<std::string> TimeLapse::takeFinished() {
    std::lock_guard lock(mutex_);
    return std::exchange(finished_, {});
}

void TimeLapse::waitIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.empty() && !busy_; });
}

void TimeLapse::end() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void TimeLapse::joinLeftovers() {
    const std::string today = options_.video.expand(std::time(nullptr));
    const std::string root = options_.video.root();
    std::set<std::string> days;
    std::error_code error;
    std::filesystem::recursive_directory_iterator entries(root, error);
    for (; !error && entries != std::filesystem::recursive_directory_iterator();
         entries.increment(error)) {
        const std::string name = root == "." ? entries->path().lexically_relative(".").string()
                                             : entries->path().lexically_normal().string();
        const std::size_t part = name.rfind(".part");
        if (part != std::string::npos && part + 5 < name.size() &&
            name.find_first_not_of("0123456789", part + 5) == std::string::npos &&
            name.substr(0, part) != today && options_.video.match(name.substr(0, part))) {
            days.insert(name.substr(0, part));
        }
    }
    for (const std::string& day : days) {
        day_ = day;
        finishDay();
    }
}

void TimeLapse::work() {
    joinLeftovers();
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait_for(lock, dayCheck, [this] { return ending_ || !waiting_.empty(); });
        if (waiting_.empty()) {
            const bool ending = ending_;
            lock.unlock();
            if (ending || (!day_.empty() && options_.video.expand(std::time(nullptr)) != day_)) {
                finishDay();
            }
            if (ending) {
                return;
            }
            lock.lock();
            continue;
        }
        Frame frame = std::move(waiting_.front());
        busy_ = true;
        waitingBytes_ -= frame.pixels.stride() * static_cast<std::size_t>(frame.pixels.height());
        waiting_.pop_front();
        lock.unlock();
        encode(frame);
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

void TimeLapse::encode(const Frame& frame) {
    const std::string day = options_.video.expand(frame.moment);
    if (day != day_) {
        finishDay();
        day_ = day;
    }
    if (!encoder_.isOpen()) {
        int number = 1;
        while (exists(partName(number))) {
            ++number;
        }
        if (!makeFolders(day_)) {
            health_.failed("folder of " + day_ + ": " + std::strerror(errno));
            return;
        }
        if (!encoder_.open(partName(number), frame.pixels.width(), frame.pixels.height(),
                           options_.fps, options_.crf)) {
            health_.failed(encoder_.error());
            return;
        }
    }
    if (encoder_.add(frame.pixels)) {
        health_.succeeded();
    } else {
        health_.failed(encoder_.error());
    }
}

void TimeLapse::finishDay() {
    if (day_.empty()) {
        return;
    }
    if (!encoder_.close()) {
        health_.failed(encoder_.error());
    }
    std::vector<std::string> inputs;
    if (exists(day_)) {
        inputs.push_back(day_);
    }
    for (int number = 1; exists(partName(number)); ++number) {
        inputs.push_back(partName(number));
    }
    const std::string joining = partName(0);
    std::string error;
    ::unlink(joining.c_str());
    if (!joinVideos(inputs, joining, error) || std::rename(joining.c_str(), day_.c_str()) != 0) {
        health_.failed(error.empty() ? day_ + ": " + std::strerror(errno) : error);
        ::unlink(joining.c_str());
    } else {
        // The day's earlier video, if any, has just been replaced.
        for (std::size_t part = inputs.front() == day_ ? 1 : 0; part < inputs.size(); ++part) {
            ::unlink(inputs[part].c_str());
        }
        std::lock_guard lock(mutex_);
        finished_.push_back(day_);
    }
    day_.clear();
}

std::string TimeLapse::partName(int number) const {
    return day_ + (number == 0 ? ".joining" : ".part" + std::to_string(number));
}
