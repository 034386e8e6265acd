// Reading a full-HD frame file from the page cache and painting it, per pixel format.
#include "image/Dib.h"

#include "base/Surface.h"
#include "tests/support/DibBuilder.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

constexpr int frameWidth = 1920;
constexpr int frameHeight = 1080;

DibBuilder frameOfDepth(std::uint16_t bitCount) {
    DibBuilder frame(frameWidth, frameHeight, bitCount);
    if (bitCount == 8) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            frame.palette.push_back(i * 0x010101);
        }
    }
    if (bitCount == 16) {
        frame.compression = Dib::biBitfields;
        frame.masks = std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F};
    }
    frame.fill([](int x, int y) { return static_cast<std::uint32_t>(x * 2654435761u + y); });
    return frame;
}

void BM_DibLoad(benchmark::State& state) {
    const TempDir dir;
    const std::string file = dir.file("_temp.dib");
    frameOfDepth(static_cast<std::uint16_t>(state.range(0))).writeTo(file);
    for (auto _ : state) {
        const Dib dib(file);
        benchmark::DoNotOptimize(dib.isValid());
    }
}

void BM_DibPaint(benchmark::State& state) {
    const TempDir dir;
    const std::string file = dir.file("_temp.dib");
    frameOfDepth(static_cast<std::uint16_t>(state.range(0))).writeTo(file);
    const Dib dib(file);
    auto surface = Surface::create(dib.width(), dib.height());
    for (auto _ : state) {
        if (!dib.paint(*surface)) {
            state.SkipWithError("frame cannot be painted");
            break;
        }
        benchmark::DoNotOptimize(surface->bits());
    }
}

} // namespace

BENCHMARK(BM_DibLoad)->Arg(8)->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DibPaint)->Arg(8)->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
