// What the live view's server costs with 0, 1, 10 and 50 viewers of its MJPEG stream, for a
// 1280 x 720 camera at 30 frames a second that sends MJPEG (pixels/0: frames passed through,
// with the Huffman tables put in) or raw pixels (pixels/1: each frame encoded once while
// someone watches). All viewers but one are curl processes on the loopback address, so their
// work is not counted in this process's CPU time; the one in this process notes when the
// last byte of each frame arrives, and its own CPU time is taken out. Reports the CPU share of
// one core, the resident memory (and how much of it each viewer added), the frames each curl
// viewer got per second and the time from a frame's arrival to its last byte at a viewer
// (median and worst).
#include "base/Surface.h"
#include "live/FrameEncoder.h"
#include "live/LiveFrames.h"
#include "live/LiveServer.h"
#include "live/LiveSource.h"
#include "tests/support/ResidentMemory.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <pthread.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

constexpr int fps = 30;
constexpr int seconds = 5;

std::optional<Surface> cameraPicture() {
    auto picture = Surface::create(1280, 720);
    std::mt19937 random(7);
    for (int y = 0; y < 720; ++y) {
        for (int x = 0; x < 1280 * 3; ++x) {
            picture->rowFromTop(y)[x] = static_cast<std::uint8_t>(x / 5 + y / 3 + random() % 24);
        }
    }
    return picture;
}

// The picture as a camera streaming MJPEG sends it: without its Huffman tables, as most do.
std::string cameraFrame(const std::string& jpeg) {
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

// The viewer in this process: at the last byte of each part of the stream it notes how long
// ago the part's frame arrived (its X-Timestamp).
class TimingViewer {
public:
    explicit TimingViewer(const std::string& url)
        : thread_([this, url] { run(url); }) {}
    ~TimingViewer() { thread_.join(); }

    void startTiming() {
        timing_ = true;
        cpuBefore_ = cpu();
    }
    // The viewer's CPU seconds since startTiming().
    double cpuSinceStart() const { return cpu() - cpuBefore_; }
    double medianMs() {
        std::sort(latencies_.begin(), latencies_.end());
        return latencies_.empty() ? 0 : latencies_[latencies_.size() / 2];
    }
    double worstMs() const {
        return latencies_.empty() ? 0 : *std::max_element(latencies_.begin(), latencies_.end());
    }

private:
    double cpu() const {
        clockid_t clock{};
        pthread_getcpuclockid(const_cast<std::thread&>(thread_).native_handle(), &clock);
        timespec time{};
        clock_gettime(clock, &time);
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
    }
    void run(const std::string& url) {
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &TimingViewer::write);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
        curl_easy_perform(curl);
        curl_easy_cleanup(curl);
    }
    static std::size_t write(char* data, std::size_t, std::size_t size, void* self) {
        static_cast<TimingViewer*>(self)->take(std::string_view(data, size));
        return size;
    }
    void take(std::string_view data) {
        const double now =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        buffer_ += data;
        for (;;) {
            const std::size_t headEnd = buffer_.find("\r\n\r\n");
            if (headEnd == std::string::npos) {
                return;
            }
            const std::size_t length = buffer_.find("Content-Length: ");
            const std::size_t stamp = buffer_.find("X-Timestamp: ");
            const std::size_t partEnd = headEnd + 4 + std::stoul(buffer_.substr(length + 16)) + 2;
            if (buffer_.size() < partEnd) {
                return;
            }
            if (timing_ && stamp < headEnd) {
                latencies_.push_back((now - std::stod(buffer_.substr(stamp + 13))) * 1000);
            }
            buffer_.erase(0, partEnd);
        }
    }

    std::string buffer_;
    std::atomic<bool> timing_{false};
    double cpuBefore_ = 0;
    std::vector<double> latencies_;
    std::thread thread_;
};

void liveStream(benchmark::State& state) {
    const bool pixels = state.range(0) != 0;
    const int viewers = static_cast<int>(state.range(1));
    const auto picture = cameraPicture();
    // Every part of the stream holds this JPEG picture (an MJPEG frame with its tables put
    // back, or the picture encoded).
    const std::string jpeg = *FrameEncoder().encode(*picture);
    const std::string frame = cameraFrame(jpeg);
    LiveSource source;
    LiveFrames live;
    const auto push = [&] {
        if (pixels) {
            live.pushPixels(*picture);
        } else {
            live.pushJpeg(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size());
        }
    };
    LiveServer server(source, live, [](const std::string&) {});
    LiveServer::Config config;
    config.port = 0;
    config.viewers = std::max(viewers, 1);
    server.start(config);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/stream";
    const std::string command = "curl -s -o /dev/null -w '%{size_download}' " + url;
    for (auto _ : state) {
        const double memoryBefore = residentMb();
        std::vector<FILE*> clients;
        for (int i = 1; i < viewers; ++i) {
            clients.push_back(popen(command.c_str(), "r"));
        }
        auto timing = viewers > 0 ? std::make_unique<TimingViewer>(url) : nullptr;
        while (live.viewers() < viewers) {
            push();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (timing) {
            timing->startTiming();
        }
        const double cpuBefore = cpuSeconds();
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < fps * seconds; ++i) {
            push();
            next += std::chrono::microseconds(1000000 / fps);
            std::this_thread::sleep_until(next);
        }
        const double cpu = cpuSeconds() - cpuBefore - (timing ? timing->cpuSinceStart() : 0);
        state.counters["cpu_percent"] = cpu * 100 / seconds;
        state.counters["rss_mb"] = residentMb();
        state.counters["kb_per_viewer"] =
            viewers ? (residentMb() - memoryBefore) * 1024 / viewers : 0;
        server.stop();
        double bytes = 0;
        for (FILE* client : clients) {
            char text[32] = {};
            bytes += std::fread(text, 1, sizeof text - 1, client) > 0 ? std::stod(text) : 0;
            pclose(client);
        }
        if (timing) {
            state.counters["latency_median_ms"] = timing->medianMs();
            state.counters["latency_worst_ms"] = timing->worstMs();
        }
        // A part is the frame and about a hundred bytes of its headers.
        state.counters["frames_per_viewer_per_s"] =
            viewers > 1 ? bytes / static_cast<double>(jpeg.size() + 100) / (viewers - 1) / seconds
                        : 0;
    }
}

BENCHMARK(liveStream)
    ->ArgNames({"pixels", "viewers"})
    ->ArgsProduct({{0, 1}, {0, 1, 10, 50}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
