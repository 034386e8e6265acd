#pragma once

#include "capture/TestSource.h"
#include "live/LiveFrames.h"
#include "tests/support/CameraFrames.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// A camera streaming MJPEG the way most do: frames without Huffman tables, each carrying its
// number in a comment ("frame 17"), handed to the live frames one by one or at a steady rate
// on a thread of its own. Padding in further comments makes the frames as large as asked.
class FakeMjpegCamera {
public:
    explicit FakeMjpegCamera(LiveFrames& frames, std::size_t padding = 0)
        : frames_(frames) {
        const auto jpeg = CameraFrames::make(V4L2_PIX_FMT_MJPEG, TestSource::render({64, 48}, 0));
        jpeg_.assign(jpeg.begin(), jpeg.end());
        for (std::size_t left = padding; left > 0; left -= std::min<std::size_t>(left, 65533)) {
            const std::size_t length = std::min<std::size_t>(left, 65533) + 2;
            padding_ += std::string("\xFF\xFE") + static_cast<char>(length >> 8) +
                        static_cast<char>(length & 0xFF) + std::string(length - 2, 'p');
        }
    }
    ~FakeMjpegCamera() { stop(); }

    // The camera's frame with that number.
    std::string frame(int number) const {
        // A COM segment after SOI; its length, the text's and its own two bytes, fits one byte.
        const std::string text = "frame " + std::to_string(number);
        return jpeg_.substr(0, 2) + "\xFF\xFE" + '\0' + static_cast<char>(text.size() + 2) + text +
               padding_ + jpeg_.substr(2);
    }
    void push(int number) {
        const std::string bytes = frame(number);
        frames_.pushJpeg(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    // Pushes frames at fps until stop().
    void run(int fps) {
        thread_ = std::thread([this, fps] {
            for (int number = 1; !stopping_; ++number) {
                push(number);
                std::this_thread::sleep_for(std::chrono::microseconds(1000000 / fps));
            }
        });
    }
    void stop() {
        stopping_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    LiveFrames& frames_;
    std::string jpeg_;
    std::string padding_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
