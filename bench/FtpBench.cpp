// Upload speed over loopback: files stored one after another through one upload session
// (as the upload worker does) against the curl command line tool storing the same files on
// the same server, one `curl -T` per file, for plain FTP, FTP over TLS, SFTP, S3 (`curl
// --aws-sigv4`) and WebDAV over HTTPS.
#include "ftp/FtpLogin.h"
#include "ftp/UploadSession.h"

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

FtpServer::Options s3() {
    FtpServer::Options options;
    options.program = FtpServer::Program::S3;
    return options;
}

FtpServer::Options webDav() {
    FtpServer::Options options;
    options.program = FtpServer::Program::Apache;
    options.tls = FtpServer::Tls::Implicit;
    return options;
}

const std::array<Protocol, 5> protocols = {{{"FTP", {}},
                                            {"FTPS (explicit)", ftpes()},
                                            {"SFTP", sftp()},
                                            {"S3", s3()},
                                            {"WebDAV (HTTPS)", webDav()}}};

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
    const auto address = ServerAddress::parse(server.hostField(), server.port());
    const auto session = UploadSession::make(address.protocol());
    session->connect({address, server.user(), server.password(), true, false, 60});
    for (auto _ : state) {
        session->put(local, "session.jpg");
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
    const bool http = server.scheme() == "s3://" || server.scheme() == "davs://";
    const std::string url = std::string(sftp   ? "sftp"
                                        : http ? "https"
                                               : "ftp") +
                            "://127.0.0.1:" + std::to_string(server.port()) +
                            (sftp   ? "/~/curl.jpg"
                             : http ? "/cam/curl.jpg"
                                    : "/curl.jpg");
    std::vector<std::string> args = {"curl", "-s",  "-S", "-f",
                                     "-T",   local, "-u", server.user() + ":" + server.password()};
    if (server.scheme() == "ftpes://") {
        args.insert(args.end(), {"--ssl-reqd", "--cacert", FtpServer::caFile()});
    }
    if (http) {
        args.insert(args.end(), {"--cacert", FtpServer::caFile(), "-H", "Content-Type: image/jpeg",
                                 "-H", "Expect:"});
    }
    if (server.scheme() == "s3://") {
        args.insert(args.end(),
                    {"--aws-sigv4", "aws:amz:us-east-1:s3", "-H",
                     "x-amz-content-sha256: UNSIGNED-PAYLOAD", "-H", "Cache-Control: max-age=60"});
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
