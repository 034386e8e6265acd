#pragma once

#include "archive/VideoEncoder.h"
#include "base/HealthLine.h"
#include "base/Surface.h"
#include "base/TimePattern.h"

#include <condition_variable>
#include <ctime>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The day's time-lapse video: each grab's finished pixels become one frame, encoded on a
// worker thread of its own so that a grab never waits for it. While the day runs the frames
// go to parts beside the day's video ("<video>.part1", "<video>.part2", ...: one for each run
// of the program), each a fragmented MP4 that a crash cuts off after at most
// VideoEncoder::keyFrameInterval frames. When the day ends (the first frame of the next day,
// local midnight, or end()), the day's video and its parts are joined, without encoding
// again, into the video under the pattern's name, and the parts are deleted; a run later that
// day continues it. Parts of another day that a run cut off left behind are joined when the
// worker starts. Trouble is told on the time-lapse's health line.
class TimeLapse {
public:
    static constexpr HealthWords healthWords{"time-lapse", "failing", "working again"};
    // The pixels waiting for the worker at most (three 1080p frames); a grab whose frame
    // would go beyond drops it rather than wait. One frame always may wait.
    static constexpr std::size_t maxWaitingBytes = 3 * 1920 * 1080 * 3;

    struct Options {
        TimePattern video;
        int fps = 25;
        int crf = 23;
    };

    explicit TimeLapse(Options options);
    // end().
    ~TimeLapse();
    TimeLapse(const TimeLapse&) = delete;
    TimeLapse& operator=(const TimeLapse&) = delete;

    // Copies the pixels of the grab made at moment for the worker.
    void add(const Surface& pixels, std::time_t moment);
    // Waits until the worker has encoded every frame handed to it.
    void waitIdle();
    // The videos of the days that have ended since the last call, joined and complete.
    std::vector<std::string> takeFinished();
    // Encodes the frames waiting, ends the day's video and stops the worker. Waits for it.
    void end();

private:
    struct Frame {
        Surface pixels;
        std::time_t moment;
    };

    void work();
    // Joins the days other than today that have parts left.
    void joinLeftovers();
    void encode(const Frame& frame);
    // Closes the part being written and joins the day's video with its parts.
    void finishDay();
    std::string partName(int number) const;

    Options options_;
    HealthLine health_{healthWords};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Frame> waiting_;
    std::size_t waitingBytes_ = 0;
    std::vector<std::string> finished_;
    bool ending_ = false;
    bool busy_ = false;
    // The worker's own.
    VideoEncoder encoder_;
    std::string day_;
    std::thread worker_;
};
