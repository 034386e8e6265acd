#pragma once

#include <cstdint>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;
class Surface;

// One part of a day's time-lapse: H.264 (x264) in a fragmented MP4 file, a key frame at
// least every keyFrameInterval frames and each fragment written out as soon as it is
// complete, so that a file cut off by a crash or a power cut plays up to its last complete
// fragment. x264 runs without look-ahead or B-frames and on one thread: each frame is
// encoded as it comes, and memory stays at a few frames. Frames of another size than the
// video's are scaled to it. Used on one thread.
class VideoEncoder {
public:
    static constexpr int keyFrameInterval = 10;

    VideoEncoder() = default;
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Creates the new file path (never an existing name) for a video of width x height (made
    // even) at fps frames a second and x264's constant rate factor crf. False, with the
    // reason in error(), when it cannot.
    bool open(const std::string& path, int width, int height, int fps, int crf);
    bool isOpen() const { return format_ != nullptr; }
    // Encodes one frame and writes what is complete of the file. False on failure.
    bool add(const Surface& pixels);
    // Writes the rest of the file and closes it. False when the end cannot be written.
    bool close();
    std::int64_t frames() const { return frames_; }
    const std::string& error() const { return error_; }

private:
    bool fail(const std::string& what, int code);
    bool writePackets();
    void release();

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    std::int64_t frames_ = 0;
    std::string error_;
};
