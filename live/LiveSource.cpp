#include "live/LiveSource.h"

#include <cstdio>

namespace {

// A JSON string: quotes, backslashes and control characters escaped.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char byte : text) {
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += byte;
        } else if (static_cast<unsigned char>(byte) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
            out += escape;
        } else {
            out += byte;
        }
    }
    return out + "\"";
}

constexpr const char* partNames[] = {"camera", "jpegFile", "upload"};

} // namespace

void LiveSource::setImage(std::string jpeg, std::chrono::system_clock::time_point written) {
    auto bytes = std::make_shared<const std::string>(std::move(jpeg));
    std::lock_guard lock(mutex_);
    const std::uint64_t number = image_ ? image_->number + 1 : 1;
    image_ = Image{std::move(bytes), written, number};
}

std::optional<LiveSource::Image> LiveSource::image() const {
    std::lock_guard lock(mutex_);
    return image_;
}

void LiveSource::setHealth(Part part, bool failing, const std::string& line) {
    std::lock_guard lock(mutex_);
    health_[static_cast<int>(part)] = {failing ? "failing" : "working", line};
}

std::string LiveSource::statusJson() const {
    std::lock_guard lock(mutex_);
    std::string json = "{";
    for (int part = 0; part < 3; ++part) {
        json += quoted(partNames[part]) + ":{\"state\":" + quoted(health_[part].state) +
                ",\"line\":" + quoted(health_[part].line) + "},";
    }
    json += "\"image\":";
    if (image_) {
        const auto writtenS =
            std::chrono::duration_cast<std::chrono::seconds>(image_->written.time_since_epoch())
                .count();
        json += "{\"bytes\":" + std::to_string(image_->jpeg->size()) +
                ",\"written\":" + std::to_string(writtenS) + "}";
    } else {
        json += "null";
    }
    return json + "}";
}
