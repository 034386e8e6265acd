// The two overlay lines of a frame with the glyphs already cached, as every grab after the
// first draws them, and the cost of making the overlay (the font look-up), paid once.
#include "base/Surface.h"
#include "image/Overlay.h"

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

std::tm fixedTime() {
    std::tm time{};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 6;
    time.tm_hour = 19;
    time.tm_min = 54;
    time.tm_sec = 30;
    return time;
}

constexpr Overlay::Colors whiteOnBlack{0x00FFFFFF, 0x00000000};

void BM_OverlayBothLines(benchmark::State& state) {
    Surface surface = *Surface::create(640, 480);
    Overlay overlay(fixedTime);
    overlay.drawDateTime(surface, surface.height(), whiteOnBlack);
    overlay.drawText(surface, "kavri WebCam - Front door", whiteOnBlack);
    for (auto _ : state) {
        overlay.drawDateTime(surface, surface.height(), whiteOnBlack);
        overlay.drawText(surface, "kavri WebCam - Front door", whiteOnBlack);
        benchmark::DoNotOptimize(surface.bits());
    }
}
BENCHMARK(BM_OverlayBothLines)->Unit(benchmark::kMicrosecond);

void BM_OverlayCreate(benchmark::State& state) {
    for (auto _ : state) {
        Overlay overlay(fixedTime);
        benchmark::DoNotOptimize(overlay.hasFont());
    }
}
BENCHMARK(BM_OverlayCreate)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
