// One grab from the test source through Capture::grabFrame (make the frame, write
// _temp.dib, read it back, frame chain, JPEG) against the frame chain alone on the same
// frame, and each step of the grab on its own, at 640x480 and 1920x1080.
#include "capture/Capture.h"
#include "capture/DibFile.h"
#include "capture/DriverCaptureService.h"
#include "capture/HeadlessCaptureDialogs.h"
#include "capture/HeadlessPreviewSink.h"
#include "capture/TestSource.h"
#include "image/Dib.h"
#include "image/FrameChain.h"
#include "image/Overlay.h"
#include "settings/Settings.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

FrameSize sizeOf(const benchmark::State& state) {
    return {static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
}

// The grab runs in a temporary directory, as the program runs in its own.
class InTempDir {
public:
    InTempDir()
        : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir.path());
    }
    ~InTempDir() { std::filesystem::current_path(previous); }

private:
    TempDir dir;
    std::filesystem::path previous;
};

void BM_GrabFrame(benchmark::State& state) {
    InTempDir cwd;
    auto source = std::make_unique<TestSource>();
    source->setFrameSize(sizeOf(state));
    std::vector<std::unique_ptr<CaptureDriver>> drivers;
    drivers.push_back(std::move(source));
    HeadlessPreviewSink preview;
    HeadlessCaptureDialogs dialogs;
    DriverCaptureService service(std::move(drivers), preview, dialogs);
    Capture capture(service, {});
    capture.initialize();
    for (auto _ : state) {
        if (!capture.grabFrame()) {
            state.SkipWithError("the grab failed");
            break;
        }
    }
}

void BM_ChainAlone(benchmark::State& state) {
    InTempDir cwd;
    writeDibFile(TestSource::render(sizeOf(state), 1), "_temp.dib");
    Overlay overlay;
    for (auto _ : state) {
        // The chain may take the frame's pixels over, so each round gets a fresh Dib.
        state.PauseTiming();
        Dib dib("_temp.dib");
        state.ResumeTiming();
        if (!saveFrameAsJpeg(dib, Settings::getJpegFile(),
                             static_cast<int>(Settings::getJpegQuality()),
                             Settings::getDateTimeOverlay(), Settings::getTextOverlay(), overlay)) {
            state.SkipWithError("the frame chain failed");
            break;
        }
    }
}

// The grab draws each frame over the memory of the one before.
void BM_StepMakeFrame(benchmark::State& state) {
    Surface frame = TestSource::render(sizeOf(state), 0);
    std::uint64_t frameNumber = 1;
    for (auto _ : state) {
        TestSource::renderInto(frame, frameNumber++);
        benchmark::DoNotOptimize(frame.bits());
    }
}

void BM_StepWriteDibFile(benchmark::State& state) {
    InTempDir cwd;
    const Surface frame = TestSource::render(sizeOf(state), 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(writeDibFile(frame, "_temp.dib"));
    }
}

void BM_StepReadDibFile(benchmark::State& state) {
    InTempDir cwd;
    writeDibFile(TestSource::render(sizeOf(state), 1), "_temp.dib");
    for (auto _ : state) {
        const Dib dib("_temp.dib");
        benchmark::DoNotOptimize(dib.isValid());
    }
}

void sizes(benchmark::internal::Benchmark* bench) {
    bench->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_GrabFrame)->Apply(sizes);
BENCHMARK(BM_ChainAlone)->Apply(sizes);
BENCHMARK(BM_StepMakeFrame)->Apply(sizes);
BENCHMARK(BM_StepWriteDibFile)->Apply(sizes);
BENCHMARK(BM_StepReadDibFile)->Apply(sizes);

BENCHMARK_MAIN();
