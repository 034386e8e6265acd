// One grab from the test source through Capture::grabFrame (make the frame, write
// _temp.dib, read it back, frame chain, JPEG) against the frame chain alone on the same
// frame, and each step of the grab on its own, at 640x480 and 1920x1080.
//
// BM_Stream/<mjpeg|yuyv>/<width>/<height>/<case>: what a camera streaming at 30 fps costs
// the program, through the fake V4L2 device, as CPU seconds of the whole process per
// second of stream (the counter core_share: 0.01 is 1% of one core). The cases: hidden
// (nobody looks, no grab due), grab5s (hidden, a grab every 5 s), preview75 and preview25
// (a visible preview stretched to 75% or 25% of the frame size, a preview frame for each
// camera frame as at 30 fps), and baseline (hidden, but every frame converted to 24-bit
// BGR by libv4lconvert, as libv4l2 did inside VIDIOC_DQBUF). Frames are pushed as fast as
// they are handled, 30 per second of stream; the camera's buffers are filled without cost,
// as a camera's DMA is, and the preview window's own drawing is not counted (see
// preview_bench).
#include "app/StoredGrabSettings.h"
#include "capture/Capture.h"
#include "capture/DibFile.h"
#include "capture/DriverCaptureService.h"
#include "capture/HeadlessCaptureDialogs.h"
#include "capture/HeadlessPreviewSink.h"
#include "capture/TestSource.h"
#include "capture/v4l2/V4l2Camera.h"
#include "image/Dib.h"
#include "image/FrameChain.h"
#include "image/Overlay.h"
#include "tests/support/CameraFrames.h"
#include "tests/support/FakeV4l2Camera.h"
#include "tests/support/FakeVideoNodes.h"
#include "tests/support/TempDir.h"

#include <libv4l-plugin.h>
#include <libv4lconvert.h>

#include <benchmark/benchmark.h>

#include <ctime>
#include <filesystem>
#include <future>
#include <string>

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
    const GrabSettings settings = storedGrabSettings();
    for (auto _ : state) {
        if (!capture.grabFrame(settings)) {
            state.SkipWithError("the grab failed");
            break;
        }
    }
}

void BM_ChainAlone(benchmark::State& state) {
    InTempDir cwd;
    writeDibFile(TestSource::render(sizeOf(state), 1), "_temp.dib");
    Overlay overlay;
    const GrabSettings settings = storedGrabSettings();
    for (auto _ : state) {
        // The chain may take the frame's pixels over, so each round gets a fresh Dib.
        state.PauseTiming();
        Dib dib("_temp.dib");
        state.ResumeTiming();
        if (!saveFrameAsJpeg(dib, settings, overlay)) {
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

// A camera's picture: the test picture with sensor noise, which makes its MJPEG frames
// about as large as a webcam's.
Surface cameraPicture(FrameSize size) {
    Surface picture = TestSource::render(size, 1);
    std::uint32_t seed = 1;
    for (int y = 0; y < size.height; ++y) {
        std::uint8_t* row = picture.rowFromTop(y);
        for (int x = 0; x < size.width * 3; ++x) {
            seed = seed * 1664525 + 1013904223;
            row[x] = static_cast<std::uint8_t>(std::clamp(row[x] + int(seed >> 27) - 16, 0, 255));
        }
    }
    return picture;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class StreamTarget : public CaptureDriver::PreviewTarget {
public:
    StreamTarget(bool visible, std::optional<FrameSize> stretchedTo)
        : visible(visible)
        , stretchedTo(stretchedTo) {}
    bool wantsFrames() const override { return visible; }
    std::optional<FrameSize> stretchedSize() const override { return stretchedTo; }
    void showFrame(const Surface& frame) override { benchmark::DoNotOptimize(frame.bits()); }

private:
    bool visible;
    std::optional<FrameSize> stretchedTo;
};

enum class StreamCase { Hidden, Grab5s, Preview75, Preview25, Baseline };

void streamCase(benchmark::State& state, std::uint32_t pixelFormat, FrameSize size,
                StreamCase which) {
    constexpr int framesPerSecond = 30;
    constexpr int framesPerGrab = 5 * framesPerSecond;
    auto fake = FakeV4l2Camera::create();
    fake->capability.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    fake->formats = {{pixelFormat, {}}};
    fake->pixelFormat = pixelFormat;
    fake->width = static_cast<std::uint32_t>(size.width);
    fake->height = static_cast<std::uint32_t>(size.height);
    const auto frame = std::make_shared<const std::vector<std::uint8_t>>(
        CameraFrames::make(pixelFormat, cameraPicture(size)));
    FakeVideoNodes nodes;
    nodes.plug("/dev/video0", fake);
    V4l2Camera camera("/dev/video0", V4l2Camera::Identity{}, "Fake Cam",
                      nodes.machine(std::make_shared<HealthLine>(V4l2Camera::healthWords)));
    camera.setFramePeriod(std::chrono::microseconds(1000000 / framesPerSecond));
    if (!camera.open()) {
        state.SkipWithError("the camera did not open");
        return;
    }
    const bool visible = which == StreamCase::Preview75 || which == StreamCase::Preview25;
    const int percent = which == StreamCase::Preview25 ? 25 : 75;
    StreamTarget target(visible,
                        FrameSize{size.width * percent / 100, size.height * percent / 100});
    camera.startPreview(target, std::chrono::milliseconds(0));

    // Today's design, for the baseline: libv4lconvert turns every frame into BGR24. Its
    // requests go to a device of the fake camera.
    const auto baselineDevice = fake->opener()("/dev/video0");
    libv4l_dev_ops ops{};
    ops.ioctl = [](void* device, int, unsigned long code, void* argument) {
        return static_cast<V4l2Device*>(device)->request(code, argument) == 0 ? 0 : -1;
    };
    const std::unique_ptr<v4lconvert_data, void (*)(v4lconvert_data*)> library(
        v4lconvert_create_with_dev_ops(-1, baselineDevice.get(), &ops), v4lconvert_destroy);
    v4l2_format from{};
    from.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    from.fmt.pix.width = static_cast<std::uint32_t>(size.width);
    from.fmt.pix.height = static_cast<std::uint32_t>(size.height);
    from.fmt.pix.pixelformat = pixelFormat;
    from.fmt.pix.bytesperline = pixelFormat == V4L2_PIX_FMT_YUYV ? from.fmt.pix.width * 2 : 0;
    v4l2_format to = from;
    to.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    to.fmt.pix.bytesperline = to.fmt.pix.width * 3;
    std::vector<std::uint8_t> converted(to.fmt.pix.bytesperline * to.fmt.pix.height);

    std::int64_t framesStreamed = 0;
    std::future<std::optional<Surface>> grab;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        for (int i = 0; i < framesPerSecond; ++i, ++framesStreamed) {
            if (which == StreamCase::Grab5s && framesStreamed % framesPerGrab == framesPerSecond) {
                grab = std::async(std::launch::async, [&] {
                    std::optional<Surface> grabbed;
                    camera.grab(grabbed);
                    return grabbed;
                });
            }
            fake->push(frame);
            if (which == StreamCase::Baseline &&
                v4lconvert_convert(library.get(), &from, &to,
                                   const_cast<std::uint8_t*>(frame->data()),
                                   static_cast<int>(frame->size()), converted.data(),
                                   static_cast<int>(converted.size())) < 0) {
                state.SkipWithError("libv4lconvert failed");
                return;
            }
            if (!fake->waitUntilHandled()) {
                state.SkipWithError("the camera stopped taking frames");
                return;
            }
            if (grab.valid() &&
                grab.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
                !grab.get()) {
                state.SkipWithError("a grab failed");
                return;
            }
        }
    }
    const double cpuSeconds = processCpuSeconds() - cpuBefore;
    if (grab.valid()) {
        fake->push(frame);
        grab.get();
    }
    camera.close();
    state.counters["core_share"] =
        cpuSeconds / (static_cast<double>(framesStreamed) / framesPerSecond);
    state.counters["frame_kb"] = static_cast<double>(frame->size()) / 1024;
}

// BM_Stream/<format>/<width>/<height>/<case>, ten seconds of stream each.
const bool streamCasesRegistered = [] {
    const std::pair<const char*, std::uint32_t> formats[] = {{"mjpeg", V4L2_PIX_FMT_MJPEG},
                                                             {"yuyv", V4L2_PIX_FMT_YUYV}};
    const FrameSize sizes[] = {{1280, 720}, {1920, 1080}};
    const std::pair<const char*, StreamCase> cases[] = {{"hidden", StreamCase::Hidden},
                                                        {"grab5s", StreamCase::Grab5s},
                                                        {"preview75", StreamCase::Preview75},
                                                        {"preview25", StreamCase::Preview25},
                                                        {"baseline", StreamCase::Baseline}};
    for (const auto& [formatName, pixelFormat] : formats) {
        for (const FrameSize& size : sizes) {
            for (const auto& [caseName, which] : cases) {
                const std::string name = std::string("BM_Stream/") + formatName + "/" +
                                         std::to_string(size.width) + "/" +
                                         std::to_string(size.height) + "/" + caseName;
                benchmark::RegisterBenchmark(name.c_str(), streamCase, pixelFormat, size, which)
                    ->Iterations(10)
                    ->MeasureProcessCPUTime()
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
    return true;
}();

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
