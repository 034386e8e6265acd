// Upload speed over loopback: files stored one after another through one FTPSession (as
// the upload worker does) against the curl command line tool storing the same files on
// the same server, one `curl -T` per file, for plain FTP, FTP over TLS and SFTP.
#include "ftp/FTPSession.h"
#include "ftp/FtpLogin.h"

#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

struct Protocol {
    const char* name;
    FtpServer::Options options;
};

FtpServer::Options ftpes() {
    FtpServer::Options options;
    options.tls = FtpServer::Tls::Explicit;
    return options;
}

FtpServer::Options sftp() {
    FtpServer::Options options;
    options.program = FtpServer::Program::Sshd;
    return options;
}

const std::array<Protocol, 3> protocols = {
    {{"FTP", {}}, {"FTPS (explicit)", ftpes()}, {"SFTP", sftp()}}};

struct Fixture {
    std::array<std::unique_ptr<FtpServer>, protocols.size()> servers;
    TempDir local;

    // The server of a protocol, started at its first use; the program and curl find the
    // authority and the keys that trust it in the environment, as a user's would.
    FtpServer& server(std::size_t protocol) {
        auto& server = servers.at(protocol);
        if (!server) {
            server = std::make_unique<FtpServer>(protocols.at(protocol).options);
        }
        setenv("SSL_CERT_FILE", FtpServer::caFile().c_str(), 1);
        if (server->scheme() == "sftp://") {
            setenv("HOME", server->clientHome().c_str(), 1);
        }
        return *server;
    }

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
    const auto protocol = static_cast<std::size_t>(state.range(0));
    const auto size = static_cast<std::size_t>(state.range(1));
    FtpServer& server = setup.server(protocol);
    const std::string local = setup.file(size);
    FTPSession session;
    session.connect({ServerAddress::parse(server.scheme() + "127.0.0.1", server.port()),
                     server.user(), server.password()});
    for (auto _ : state) {
        session.put(local, "session.jpg");
    }
    state.SetLabel(protocols.at(protocol).name);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void curlPut(benchmark::State& state) {
    auto& setup = fixture();
    const auto protocol = static_cast<std::size_t>(state.range(0));
    const auto size = static_cast<std::size_t>(state.range(1));
    FtpServer& server = setup.server(protocol);
    const std::string local = setup.file(size);
    const bool sftp = server.scheme() == "sftp://";
    const std::string url = std::string(sftp ? "sftp" : "ftp") +
                            "://127.0.0.1:" + std::to_string(server.port()) +
                            (sftp ? "/~/curl.jpg" : "/curl.jpg");
    std::vector<std::string> args = {
        "curl", "-s", "-S", "-T", local, "-u", server.user() + ":" + server.password()};
    if (server.scheme() == "ftpes://") {
        args.insert(args.end(), {"--ssl-reqd", "--cacert", FtpServer::caFile()});
    }
    if (sftp) {
        args.insert(args.end(), {"--key", (server.clientHome() / ".ssh" / "id_ed25519").string()});
    }
    args.push_back(url);
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
    state.SetLabel(protocols.at(protocol).name);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

constexpr std::int64_t smallFile = 100 * 1024;
constexpr std::int64_t largeFile = 5 * 1024 * 1024;

void cases(benchmark::internal::Benchmark* benchmark) {
    for (std::int64_t protocol = 0; protocol < static_cast<std::int64_t>(protocols.size());
         ++protocol) {
        benchmark->Args({protocol, smallFile})->Args({protocol, largeFile});
    }
    benchmark->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(sessionPut)->Apply(cases);
BENCHMARK(curlPut)->Apply(cases);

BENCHMARK_MAIN();
