#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What the live view tells about the grab, as the program hands it over: the JPEG file just
// written, kept in memory, and the health of the camera, the JPEG file and the upload. The
// grab side sets, the web server's threads read; safe to use from several threads.
class LiveSource {
public:
    struct Image {
        std::shared_ptr<const std::string> jpeg;
        std::chrono::system_clock::time_point written;
        // Counts the grabs from 1; it makes the ETag.
        std::uint64_t number = 0;
    };

    // The parts whose health /status reports, in its order.
    enum class Part { camera, jpegFile, upload };

    // Keeps the bytes of the JPEG file written at that time.
    void setImage(std::string jpeg, std::chrono::system_clock::time_point written);
    // The newest grab; none before the first.
    std::optional<Image> image() const;

    // The part's state and the health line that told it (base/HealthLine).
    void setHealth(Part part, bool failing, const std::string& line);
    // {"camera":{"state":"working","line":"..."},...,"image":{"bytes":..,"written":..}}; a
    // part nobody told of is "unknown".
    std::string statusJson() const;

private:
    struct Health {
        std::string state = "unknown";
        std::string line;
    };

    mutable std::mutex mutex_;
    std::optional<Image> image_;
    Health health_[3];
};
