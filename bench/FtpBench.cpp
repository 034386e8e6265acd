// Upload speed over loopback: files stored one after another through one FTPSession (as
// the upload worker does) against the curl command line tool storing the same files on
// the same server, one `curl -T` per file.
#include "ftp/FTPSession.h"

#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

struct Fixture {
    FtpServer server;
    TempDir local;

    std::string file(std::size_t size) {
        const auto path = local.path() / ("upload-" + std::to_string(size) + ".jpg");
        if (!std::filesystem::exists(path)) {
            std::mt19937 random(static_cast<unsigned>(size));
            std::string bytes(size, '\0');
            for (auto& byte : bytes) {
                byte = static_cast<char>(random() & 0xFF);
            }
            std::ofstream(path, std::ios::binary) << bytes;
        }
        return path.string();
    }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void sessionPut(benchmark::State& state) {
    auto& setup = fixture();
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::string local = setup.file(size);
    FTPSession session;
    session.connect("127.0.0.1", setup.server.user(), setup.server.password(), setup.server.port(),
                    true);
    for (auto _ : state) {
        session.put(local, "session.jpg");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void curlPut(benchmark::State& state) {
    auto& setup = fixture();
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::string local = setup.file(size);
    const std::string url = "ftp://127.0.0.1:" + std::to_string(setup.server.port()) + "/curl.jpg";
    std::vector<std::string> args = {
        "curl", "-s", "-S", "-T", local, "-u", setup.server.user() + ":" + setup.server.password(),
        url};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot run curl");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

constexpr std::int64_t smallFile = 100 * 1024;
constexpr std::int64_t largeFile = 5 * 1024 * 1024;

} // namespace

BENCHMARK(sessionPut)->Arg(smallFile)->Arg(largeFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(curlPut)->Arg(smallFile)->Arg(largeFile)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
