// What the archive adds to a grab: the frame chain of a 1080p grab alone against the same
// with the picture kept in the archive beside the JPEG file (a second name) and the archive
// pruned to a size limit; the time-lapse encoder's CPU time per 1080p frame; and the memory
// a running time-lapse holds.
#include "archive/PictureArchive.h"
#include "archive/TimeLapse.h"
#include "archive/VideoEncoder.h"
#include "base/Surface.h"
#include "image/Dib.h"
#include "image/FrameChain.h"
#include "image/GrabSettings.h"
#include "image/Overlay.h"
#include "tests/support/DibBuilder.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr int width = 1920;
constexpr int height = 1080;

// A camera-like picture: gradients with noise, which moves from frame to frame.
void paint(Surface& pixels, int seed) {
    std::srand(static_cast<unsigned>(seed));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels.rowFromTop(y);
        for (int x = 0; x < width; ++x) {
            const int noise = std::rand() % 16;
            row[3 * x] = static_cast<std::uint8_t>(x * 255 / width + noise);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height + noise);
            row[3 * x + 2] = static_cast<std::uint8_t>((x + y + seed) / 12 + noise);
        }
    }
}

// Arg 0: the grab alone; 1: with the archive; 2: with the archive and the time-lapse, whose
// frames the grab hands over (a copy of the pixels) without waiting for the encoder, which
// runs on its own thread and core and is measured apart.
void BM_Grab(benchmark::State& state) {
    TempDir dir;
    const std::string frameFile = dir.file("_temp.dib");
    Surface pixels = *Surface::create(width, height);
    paint(pixels, 1);
    DibBuilder frame(width, height, 24);
    frame.fill([&](int x, int y) {
        const std::uint8_t* p = pixels.rowFromTop(height - 1 - y) + 3 * x;
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
    });
    frame.writeTo(frameFile);
    Overlay overlay;
    GrabSettings settings{dir.file("image.jpg"), 70, true, "bird feeder", {0x0000D20B, 0}};
    PictureArchive archive(TimePattern(dir.file("archive/%Y-%m-%d/%H%M%S.jpg")),
                           {.days = 0, .bytes = std::uint64_t{50} << 20});
    std::time_t moment = 1796000000;
    if (state.range(0) >= 1) {
        settings.keep = [&](const std::string& newFile) { archive.keep(newFile, moment); };
    }
    TimeLapse timeLapse({TimePattern(dir.file("%Y-%m-%d.mp4")), 25, 23});
    if (state.range(0) == 2) {
        settings.frame = [&](const Surface& grabbed) { timeLapse.add(grabbed, moment); };
    }
    for (auto _ : state) {
        Dib dib(frameFile);
        saveFrameAsJpeg(dib, settings, overlay);
        if (state.range(0) >= 1) {
            archive.prune(moment++);
        }
    }
}

// The archive's own share of a grab: keeping one new 300 KB JPEG file beside it and pruning
// to a limit that deletes one picture for each one kept.
void BM_KeepAndPrune(benchmark::State& state) {
    TempDir dir;
    PictureArchive archive(TimePattern(dir.file("archive/%Y-%m-%d/%H%M%S.jpg")),
                           {.days = 0, .bytes = std::uint64_t{100} * 300000});
    const std::string newFile = dir.file(".new.jpg");
    const std::string bytes(300000, 'j');
    std::time_t moment = 1796000000;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(newFile) << bytes;
        state.ResumeTiming();
        archive.keep(newFile, moment);
        archive.prune(moment++);
        state.PauseTiming();
        std::rename(newFile.c_str(), dir.file("image.jpg").c_str());
        state.ResumeTiming();
    }
}

void BM_EncodeFrame(benchmark::State& state) {
    TempDir dir;
    VideoEncoder encoder;
    encoder.open(dir.file("day.mp4"), width, height, 25, 23);
    Surface pixels = *Surface::create(width, height);
    int seed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        paint(pixels, ++seed);
        state.ResumeTiming();
        encoder.add(pixels);
    }
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

// The memory a day's time-lapse holds once it has encoded a few 1080p frames.
void BM_TimeLapseMemory(benchmark::State& state) {
    TempDir dir;
    Surface pixels = *Surface::create(width, height);
    paint(pixels, 1);
    long grown = 0;
    for (auto _ : state) {
        const long before = residentKb();
        TimeLapse timeLapse({TimePattern(dir.file("%Y-%m-%d-%H%M%S.mp4")), 25, 23});
        for (int frame = 0; frame < 30; ++frame) {
            timeLapse.add(pixels, 1796000000);
            timeLapse.waitIdle();
        }
        grown = residentKb() - before;
        timeLapse.end();
    }
    state.counters["rss_growth_MB"] = static_cast<double>(grown) / 1024.0;
}

} // namespace

BENCHMARK(BM_Grab)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeepAndPrune)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeFrame)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_TimeLapseMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
