#pragma once

#include "base/Surface.h"
#include "live/FrameEncoder.h"
#include "live/LiveFrames.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

// A camera streaming MJPEG the way most do: frames without Huffman tables, each carrying its
// number in a comment ("frame 17"), handed to the live frames one by one or at a steady rate
// on a thread of its own.
class FakeMjpegCamera {
public:
    FakeMjpegCamera(LiveFrames& frames, int width = 64, int height = 48)
        : frames_(frames) {
        auto picture = Surface::create(width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width * 3; ++x) {
                picture->rowFromTop(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 3);
            }
        }
        jpeg_ = withoutHuffmanTables(*FrameEncoder().encode(*picture));
    }
    ~FakeMjpegCamera() { stop(); }

    // The camera's frame with that number.
    std::string frame(int number) const {
        const std::string text = "frame " + std::to_string(number);
        std::string comment = "\xFF\xFE";
        comment += static_cast<char>((text.size() + 2) >> 8);
        comment += static_cast<char>((text.size() + 2) & 0xFF);
        return jpeg_.substr(0, 2) + comment + text + jpeg_.substr(2);
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

    // The JPEG file with its DHT segments taken out.
    static std::string withoutHuffmanTables(const std::string& jpeg) {
        std::string out = jpeg.substr(0, 2);
        std::size_t at = 2;
        while (static_cast<unsigned char>(jpeg[at + 1]) != 0xDA) {
            const std::size_t length = static_cast<unsigned char>(jpeg[at + 2]) * 256u +
                                       static_cast<unsigned char>(jpeg[at + 3]);
            if (static_cast<unsigned char>(jpeg[at + 1]) != 0xC4) {
                out += jpeg.substr(at, 2 + length);
            }
            at += 2 + length;
        }
        return out + jpeg.substr(at);
    }

private:
    LiveFrames& frames_;
    std::string jpeg_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
