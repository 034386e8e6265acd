#include "live/LiveFrames.h"

#include "base/Font.h"
#include "base/Surface.h"

#include <cstdio>
#include <cstring>

namespace {

// A part of the stream; a camera frame's part tells when the frame arrived (seconds since
// the epoch, to the microsecond), so that a viewer can tell how late it shows it.
std::string streamPart(const std::string& jpeg,
                       std::optional<std::chrono::system_clock::time_point> arrived) {
    std::string part =
        std::string("--") + LiveFrames::boundary +
        "\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(jpeg.size()) + "\r\n";
    if (arrived) {
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(arrived->time_since_epoch())
                .count();
        char stamp[48];
        std::snprintf(stamp, sizeof stamp, "X-Timestamp: %lld.%06lld\r\n",
                      static_cast<long long>(micros / 1000000),
                      static_cast<long long>(micros % 1000000));
        part += stamp;
    }
    return part + "\r\n" + jpeg + "\r\n";
}

} // namespace

std::optional<std::string> LiveFrames::withHuffmanTables(const std::uint8_t* data,
                                                         std::size_t size) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return std::nullopt;
    }
    // The segments before the scan; a DHT among them means the frame has its tables.
    std::size_t at = 2;
    while (at + 4 <= size && data[at] == 0xFF) {
        if (data[at + 1] == 0xC4) {
            return std::string(reinterpret_cast<const char*>(data), size);
        }
        if (data[at + 1] == 0xDA) {
            std::string frame(reinterpret_cast<const char*>(data), at);
            frame += FrameEncoder::standardHuffmanSegments();
            frame.append(reinterpret_cast<const char*>(data + at), size - at);
            return frame;
        }
        at += 2 + data[at + 2] * std::size_t{256} + data[at + 3];
    }
    return std::nullopt;
}

bool LiveFrames::pushJpeg(const std::uint8_t* data, std::size_t size) {
    const auto arrived = std::chrono::system_clock::now();
    const auto jpeg = withHuffmanTables(data, size);
    if (jpeg) {
        publish(*jpeg, arrived);
    }
    return jpeg.has_value();
}

void LiveFrames::pushPixels(const Surface& picture) {
    if (viewers_.load() == 0) {
        return;
    }
    const auto arrived = std::chrono::system_clock::now();
    if (const auto jpeg = encoder_.encode(picture)) {
        publish(*jpeg, arrived);
    }
}

void LiveFrames::publish(const std::string& jpeg, std::chrono::system_clock::time_point arrived) {
    auto part = std::make_shared<const std::string>(streamPart(jpeg, arrived));
    std::lock_guard lock(mutex_);
    newest_ = {std::move(part), newest_.number + 1};
    cameraLost_ = false;
    if (listener_) {
        listener_();
    }
}

void LiveFrames::setCameraLost(bool lost) {
    std::lock_guard lock(mutex_);
    cameraLost_ = lost;
}

bool LiveFrames::addViewer(int limit) {
    int count = viewers_.load();
    while (count < limit) {
        if (viewers_.compare_exchange_weak(count, count + 1)) {
            return true;
        }
    }
    return false;
}

void LiveFrames::removeViewer() {
    --viewers_;
}

std::optional<LiveFrames::Frame> LiveFrames::newest(std::uint64_t after) const {
    std::lock_guard lock(mutex_);
    return newest_.number > after ? std::optional(newest_) : std::nullopt;
}

std::optional<LiveFrames::Frame> LiveFrames::noCamera(std::uint64_t after) const {
    std::lock_guard lock(mutex_);
    return cameraLost_ || newest_.number == 0 ? std::optional(Frame{noCameraPart(), after})
                                              : std::nullopt;
}

void LiveFrames::setListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

std::shared_ptr<const std::string> LiveFrames::noCameraPart() {
    static const auto part = [] {
        constexpr int width = 320;
        constexpr int height = 240;
        auto picture = Surface::create(width, height);
        std::string jpeg;
        if (picture) {
            std::memset(picture->bits(), 0x40, picture->stride() * height);
            Font font("DejaVu Sans", 28);
            const Font::Line line = font.layout("no camera");
            const std::int64_t lineWidth =
                line.empty() ? 0 : line.back().penX + line.back().glyph->advance;
            font.draw(*picture, line, static_cast<int>((width - lineWidth) / 2), height / 2,
                      TextAlign::bottom, 0xFFFFFF);
            jpeg = FrameEncoder().encode(*picture).value_or(std::string());
        }
        return std::make_shared<const std::string>(streamPart(jpeg, std::nullopt));
    }();
    return part;
}
