// The whole frame chain (read a 24-bit DIB file from the page cache, paint, both overlays,
// encode, atomic write) against the encode alone of the same pixels with the same
// libjpeg-turbo settings, written to a file in the same directory; and the chain with a
// 1920 x 1080 frame turned and scaled to 1280 across, against the plain chain at 1280 x 720.
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

#include <jpeglib.h>

namespace {

constexpr int quality = 70;

// A camera-like picture: smooth gradients with some noise, so the encoder does real work.
std::vector<std::uint8_t> cameraLikeRows(int width, int height) {
    const std::size_t stride = Surface::strideFor(width);
    std::vector<std::uint8_t> rows(stride * height);
    std::srand(1);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = rows.data() + y * stride + 3 * x;
            const int noise = std::rand() % 16;
            p[0] = static_cast<std::uint8_t>((x * 255 / width + noise) & 0xFF);
            p[1] = static_cast<std::uint8_t>((y * 255 / height + noise) & 0xFF);
            p[2] = static_cast<std::uint8_t>(((x + y) * 127 / (width + height) + noise) & 0xFF);
        }
    }
    return rows;
}

void runFrameChain(benchmark::State& state, int width, int height, const PictureOptions& picture) {
    TempDir dir;
    const std::string frameFile = dir.file("_temp.dib");
    const std::string jpegFile = dir.file("image.jpg");
    DibBuilder frame(width, height, 24);
    const auto rows = cameraLikeRows(width, height);
    const std::size_t stride = Surface::strideFor(width);
    frame.fill([&](int x, int y) {
        const std::uint8_t* p = rows.data() + (height - 1 - y) * stride + 3 * x;
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
    });
    frame.writeTo(frameFile);
    Overlay overlay;
    const GrabSettings settings{
        jpegFile, quality, true, "kavriWebCam bird feeder", {0x0000D20B, 0x00000000}, picture};
    for (auto _ : state) {
        Dib dib(frameFile);
        if (!saveFrameAsJpeg(dib, settings, overlay)) {
            state.SkipWithError("the frame chain failed");
            break;
        }
    }
}

void BM_FrameChain(benchmark::State& state) {
    runFrameChain(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), {});
}

// The frame turned by rotate degrees and scaled to outWidth pixels across before the stamp.
void BM_FrameChainTurned(benchmark::State& state) {
    PictureOptions picture;
    picture.rotate = static_cast<int>(state.range(2));
    picture.width = static_cast<int>(state.range(3));
    runFrameChain(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                  picture);
}

void BM_EncodeOnly(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    TempDir dir;
    const std::string jpegFile = dir.file("image.jpg");
    const auto rows = cameraLikeRows(width, height);
    const std::size_t stride = Surface::strideFor(width);
    jpeg_error_mgr errors{};
    jpeg_compress_struct compressor{};
    compressor.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compressor);
    compressor.in_color_space = JCS_EXT_BGR;
    compressor.input_components = 3;
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, quality, TRUE);
    compressor.image_width = static_cast<JDIMENSION>(width);
    compressor.image_height = static_cast<JDIMENSION>(height);
    for (auto _ : state) {
        std::FILE* file = std::fopen(jpegFile.c_str(), "wb");
        jpeg_stdio_dest(&compressor, file);
        jpeg_start_compress(&compressor, TRUE);
        while (compressor.next_scanline < compressor.image_height) {
            auto* row = const_cast<JSAMPLE*>(rows.data() +
                                             (height - 1 - compressor.next_scanline) * stride);
            jpeg_write_scanlines(&compressor, &row, 1);
        }
        jpeg_finish_compress(&compressor);
        std::fclose(file);
    }
    jpeg_destroy_compress(&compressor);
}

void frameSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->Args({320, 240})->Args({640, 480})->Args({1280, 720})->Args({1920, 1080});
    benchmark->ArgNames({"W", "H"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_FrameChain)->Apply(frameSizes);
BENCHMARK(BM_EncodeOnly)->Apply(frameSizes);
BENCHMARK(BM_FrameChainTurned)
    ->Args({1920, 1080, 90, 1280})
    ->Args({1920, 1080, 0, 1280})
    ->ArgNames({"W", "H", "rotate", "width"})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
