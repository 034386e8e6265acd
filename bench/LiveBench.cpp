// What the live view's server costs with 0, 1, 10 and 50 viewers of its MJPEG stream: a fake
// 1280 x 720 MJPEG camera hands it 30 frames a second (undecoded, with the Huffman tables put
// in), and each viewer is a curl process on the loopback address, so only the server and
// the camera count in this process's CPU time. Reports the CPU share of one core, the
// resident memory and the frames each viewer got per second.
#include "base/Surface.h"
#include "live/FrameEncoder.h"
#include "live/LiveFrames.h"
#include "live/LiveServer.h"
#include "live/LiveSource.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

constexpr int fps = 30;
constexpr int seconds = 5;

// A camera frame of 1280 x 720 with some noise, so it is as large as a real one, without
// its Huffman tables, as most cameras send them.
std::string cameraFrame() {
    auto picture = Surface::create(1280, 720);
    std::mt19937 random(7);
    for (int y = 0; y < 720; ++y) {
        for (int x = 0; x < 1280 * 3; ++x) {
            picture->rowFromTop(y)[x] = static_cast<std::uint8_t>(x / 5 + y / 3 + random() % 24);
        }
    }
    const std::string jpeg = *FrameEncoder().encode(*picture);
    const std::string& tables = FrameEncoder::standardHuffmanSegments();
    const std::size_t at = jpeg.find(tables.substr(0, 4));
    return jpeg.substr(0, at) + jpeg.substr(at + tables.size());
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stod(line.substr(6)) / 1024;
        }
    }
    return 0;
}

void liveStream(benchmark::State& state) {
    const int viewers = static_cast<int>(state.range(0));
    const std::string frame = cameraFrame();
    LiveSource source;
    LiveFrames frames;
    LiveServer server(source, frames, [](const std::string&) {});
    LiveServer::Config config;
    config.port = 0;
    config.viewers = std::max(viewers, 1);
    server.start(config);
    const std::string command = "curl -s -o /dev/null -w '%{size_download}' http://127.0.0.1:" +
                                std::to_string(server.port()) + "/stream";
    for (auto _ : state) {
        std::vector<FILE*> clients;
        for (int i = 0; i < viewers; ++i) {
            clients.push_back(popen(command.c_str(), "r"));
        }
        while (frames.viewers() < viewers) {
            frames.pushJpeg(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const double cpuBefore = cpuSeconds();
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < fps * seconds; ++i) {
            frames.pushJpeg(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size());
            next += std::chrono::microseconds(1000000 / fps);
            std::this_thread::sleep_until(next);
        }
        state.counters["cpu_percent"] = (cpuSeconds() - cpuBefore) * 100 / seconds;
        state.counters["rss_mb"] = residentMb();
        server.stop();
        double bytes = 0;
        for (FILE* client : clients) {
            char text[32] = {};
            bytes += std::fread(text, 1, sizeof text - 1, client) > 0 ? std::stod(text) : 0;
            pclose(client);
        }
        state.counters["frames_per_viewer_per_s"] =
            viewers ? bytes / static_cast<double>(frame.size()) / viewers / seconds : 0;
    }
    state.counters["frame_kb"] = static_cast<double>(frame.size()) / 1024;
}

BENCHMARK(liveStream)->Arg(0)->Arg(1)->Arg(10)->Arg(50)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
