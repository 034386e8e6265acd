#include "archive/TimeLapse.h"

#include "tests/live/LiveClients.h"
#include "tests/support/LocalTime.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkingDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// What ffprobe reads of a video: "width,height,frames", empty when it refuses the file.
// x264 may start a fragment early at a change of scene, so a part cut off holds between
// keyFrameInterval frames less than it was given and all of them.
std::string probe(const std::string& video) {
    const ClientRun run =
        runClient("ffprobe -v error -count_frames -select_streams v:0 "
                  "-show_entries stream=width,height,nb_read_frames -of csv=p=0 '" +
                  video + "' 2>/dev/null");
    return run.status == 0 ? run.output.substr(0, run.output.find('\n')) : "";
}

// A grab of 96 x 64 whose pixels change with number.
Surface picture(int number) {
    Surface pixels = *Surface::create(96, 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96 * 3; ++x) {
            pixels.rowFromTop(y)[x] = static_cast<std::uint8_t>(x + y * number);
        }
    }
    return pixels;
}

void grab(TimeLapse& timeLapse, int frames, std::time_t moment) {
    for (int number = 0; number < frames; ++number) {
        timeLapse.add(picture(number), moment + number);
        timeLapse.waitIdle();
    }
}

TimeLapse::Options options() {
    return {TimePattern("v/%Y-%m-%d.mp4"), 25, 23};
}

TEST(TimeLapseTest, EachGrabIsOneFrameOfItsDaysVideoWhichARestartContinues) {
    TempDir dir;
    WorkingDirectory inDir(dir.path());
    {
        TimeLapse timeLapse(options());
        grab(timeLapse, 23, localTime(2026, 12, 7, 9));
    }
    EXPECT_EQ(probe("v/2026-12-07.mp4"), "96,64,23");
    TimeLapse later(options());
    grab(later, 5, localTime(2026, 12, 7, 10));
    grab(later, 2, localTime(2026, 12, 8, 1));
    EXPECT_EQ(later.takeFinished(), std::vector<std::string>{"v/2026-12-07.mp4"});
    EXPECT_EQ(probe("v/2026-12-07.mp4"), "96,64,28");
    later.end();
    EXPECT_EQ(probe("v/2026-12-08.mp4"), "96,64,2");
    EXPECT_EQ(std::distance(fs::directory_iterator("v"), {}), 2) << "no part is left";
}

// Runs a time-lapse in a child process that kills itself once it has encoded grabs frames
// made at moment, and returns how many frames its part holds.
int framesOfAKilledRun(int grabs, std::time_t moment, const std::string& part) {
    const pid_t child = ::fork();
    if (child == 0) {
        TimeLapse timeLapse(options());
        grab(timeLapse, grabs, moment);
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const std::string probed = probe(part);
    const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    return killed && probed.starts_with("96,64,") ? std::stoi(probed.substr(6)) : -1;
}

TEST(TimeLapseTest, AKilledRunLeavesAllButItsLastFramesWhichTheNextRunJoins) {
    TempDir dir;
    WorkingDirectory inDir(dir.path());
    const int kept = framesOfAKilledRun(27, localTime(2026, 12, 7, 9), "v/2026-12-07.mp4.part1");
    EXPECT_GE(kept, 27 - VideoEncoder::keyFrameInterval);
    EXPECT_LE(kept, 27);
    TimeLapse next(options());
    grab(next, 3, localTime(2026, 12, 7, 11));
    next.end();
    EXPECT_EQ(probe("v/2026-12-07.mp4"), "96,64," + std::to_string(kept + 3));

    // A day that no run continues is joined when the next run starts.
    const int left = framesOfAKilledRun(12, localTime(2025, 12, 1, 9), "v/2025-12-01.mp4.part1");
    ASSERT_GE(left, 2);
    TimeLapse starting(options());
    starting.end();
    EXPECT_EQ(starting.takeFinished(), std::vector<std::string>{"v/2025-12-01.mp4"});
    EXPECT_EQ(probe("v/2025-12-01.mp4"), "96,64," + std::to_string(left));
}

} // namespace
