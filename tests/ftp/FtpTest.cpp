#include "ftp/FTPSession.h"
#include "ftp/FTPThread.h"

#include "base/Exception.h"
#include "tests/support/Deadline.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using Tls = FtpServer::Tls;
using Certificate = FtpServer::Certificate;
constexpr auto sshd = FtpServer::Program::Sshd;
constexpr auto vsftpd = FtpServer::Program::Vsftpd;

namespace {

// Random bytes, line ends and NULs among them, which a text-mode transfer would damage.
std::string binaryBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), std::minstd_rand(seed));
    return bytes;
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Trusts the TLS servers' authority and finds the SSH key and known hosts under HOME, as
// the program does for its user. Only the low 16 bits of the port setting count.
void connect(FTPSession& session, const FtpServer& server, const char* password = nullptr,
             bool passive = true) {
    setenv("SSL_CERT_FILE", FtpServer::caFile().c_str(), 1);
    setenv("HOME", server.clientHome().c_str(), 1);
    session.connect(server.scheme() + "127.0.0.1", server.user(),
                    password != nullptr ? password : server.password(), server.port() + 0x30000u,
                    passive);
}

struct Protocol {
    const char* name;
    FtpServer::Options options = {};
    bool passive = true;
};

class FTPSessionLoginTest : public testing::TestWithParam<Protocol> {};

TEST_P(FTPSessionLoginTest, StoresEachFileWholeUnderItsNameAndNeverHalfOfOne) {
    const auto& options = GetParam().options;
    FtpServer server(options);
    TempDir local;
    // Names pass through URLs, and over SFTP through quoted commands too.
    const std::string odd = "cam pics/100%/\"cheese\" \\ 'now' #1?%41%2F+a=b&c \xc3\xa5.jpg;type=a";
    std::filesystem::create_directories(server.home() / "cam pics" / "100%");
    std::atomic<bool> stop{false};
    FTPSession session(&stop);
    testing::internal::CaptureStderr();
    connect(session, server, nullptr, GetParam().passive);
    // Twenty stores: vsftpd refuses some data connections that resume a TLS 1.3 session.
    constexpr unsigned rounds = 10;
    for (unsigned i = 0; i < rounds; ++i) {
        for (const std::string remote : {odd.c_str(), "image.jpg"}) {
            // Each file replaces a longer one.
            writeBytes(local.path() / "image.jpg", binaryBytes(20 * 1024 * (rounds - i) + 7, i));
            session.put(local.file("image.jpg"), remote);
            EXPECT_TRUE(readBytes(server.home() / remote) == readBytes(local.path() / "image.jpg"))
                << remote << " " << i;
        }
    }
    EXPECT_THAT(server.events("DATA "),
                testing::Each(GetParam().passive ? "DATA EPSV" : "DATA EPRT"));
    // A server that renames nothing gets each file straight under its name, and that is said.
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find(" refuses to rename files; ") != std::string::npos, options.refuseRenames);
    if (options.refuseRenames) {
        return;
    }
    // Going over to TLS 1.2 takes one more login, and is said.
    const bool tls12 =
        said.find(" over TLS 1.3, as a server does that requires ") != std::string::npos;
    EXPECT_EQ(server.loginCount(), tls12 ? 2 : 1) << said;

    // An upload stopped half-way leaves the last image whole under its name.
    const auto temporary = server.home() / FTPSession::temporaryName("image.jpg");
    writeBytes(local.path() / "big.jpg", binaryBytes(16 << 20, 1));
    std::thread stopper([&] {
        waitUntil([&] { return std::filesystem::exists(temporary); });
        stop = true;
    });
    EXPECT_THROW(session.put(local.file("big.jpg"), "image.jpg"), FTPException);
    stopper.join();
    EXPECT_TRUE(readBytes(server.home() / "image.jpg") == readBytes(local.path() / "image.jpg"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Logins, FTPSessionLoginTest, testing::Values(
    Protocol{"Ftp"}, Protocol{"FtpActive", {}, false}, Protocol{"FtpesTls", {.tls = Tls::Explicit}},
    Protocol{"FtpRefusingRenames", {.refuseRenames = true}},
    Protocol{"FtpsTls", {.tls = Tls::Implicit}}, Protocol{"Sftp", {.program = sshd}},
    Protocol{"VsftpdFtpes", {.program = vsftpd, .tls = Tls::Explicit}},
    Protocol{"VsftpdFtps", {.program = vsftpd, .tls = Tls::Implicit}},
    Protocol{"SftpPassword", {.program = FtpServer::Program::Paramiko}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct Failure {
    const char* name;
    FtpServer::Options options = {};
    // The reason the session gives, as a regular expression.
    const char* reason;
    const char* password = nullptr;
    const char* remoteFile = "image.jpg";
    // What the known_hosts file holds.
    std::string (*knownHosts)(const FtpServer& server) = nullptr;
    // Whether the session takes the next file after this failure.
    bool staysOpen = false;
    // Whether the file was refused rather than the connection.
    bool fileRefused = false;
};

class FTPSessionFailureTest : public testing::TestWithParam<Failure> {};

TEST_P(FTPSessionFailureTest, ThrowsTheMessageAndSaysWhyAndNeverHarmsTheServersFiles) {
    const Failure& row = GetParam();
    FtpServer server(row.options);
    TempDir local;
    writeBytes(server.home() / "keep.jpg", "keep");
    writeBytes(local.path() / "image.jpg", "abc");
    std::filesystem::create_directory(server.home() / "up");
    if (row.knownHosts != nullptr) {
        std::ofstream(server.clientHome() / ".ssh" / "known_hosts") << row.knownHosts(server);
    }
    FTPSession session;
    std::string message = "no exception";
    testing::internal::CaptureStderr();
    try {
        connect(session, server, row.password);
        session.put(local.file("image.jpg"), row.remoteFile);
    } catch (const FTPException& error) {
        message = error.message;
    }
    EXPECT_EQ(message, row.fileRefused
                           ? "::FTP::\nCannot transfer the file, please check the "
                             "following:\n * the source file exists.\n * the "
                             "destination path exists,\n * the ftp server is responding."
                           : "::FTP::\nCannot connect to the ftp server,\nplease "
                             "check the ftp settings.");
    EXPECT_THAT(session.failureReason(), testing::MatchesRegex(row.reason));
    EXPECT_THAT(session.failureReason(), testing::Not(testing::HasSubstr("s3cret")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(readBytes(server.home() / "keep.jpg"), "keep");
    EXPECT_EQ(session.isOpen(), row.staysOpen);
    // Nothing half-sent is left behind, and an open session takes the next file.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(server.home())) {
        EXPECT_THAT(entry.path().filename().string(), testing::Not(testing::EndsWith(".part")));
    }
    if (row.staysOpen) {
        session.put(local.file("image.jpg"), "image.jpg");
        EXPECT_EQ(readBytes(server.home() / "image.jpg"), "abc");
    }
    // vsftpd's logins reach the event log a moment later.
    waitUntil([&] { return server.loginCount() >= (row.staysOpen ? 1 : 0); });
    EXPECT_EQ(server.loginCount(), row.staysOpen ? 1 : 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Failures, FTPSessionFailureTest, testing::Values(
    Failure{"WrongPassword", {}, "connect to 127.0.0.1:[0-9]+: 530 .*", "wrong"},
    Failure{"PasswordControlCharacter", {}, "connect: .* control character", "x\r\nDELE keep.jpg"},
    Failure{.name = "RemotePathControlCharacter", .reason = "store a.jpg.*: .* control character",
            .remoteFile = "a.jpg\r\nDELE keep.jpg", .staysOpen = true},
    // Names that cannot take a file: refused before anything is sent, or by the server.
    Failure{.name = "RemoteNameEndsInSlash", .reason = "store up/: .*ends in '/'.*",
            .remoteFile = "up/", .staysOpen = true, .fileRefused = true},
    Failure{.name = "NoRemoteName", .options = {.program = sshd}, .reason = "store : no remote .*",
            .remoteFile = "", .staysOpen = true, .fileRefused = true},
    Failure{.name = "RemoteNameOfAFolder", .reason = "store up: 550 .*", .remoteFile = "up",
            .staysOpen = true, .fileRefused = true},
    Failure{.name = "VsftpdRemoteNameOfAFolder", .options = {.program = vsftpd},
            .reason = "store up: 553 .*", .remoteFile = "up", .staysOpen = true,
            .fileRefused = true},
    Failure{.name = "SftpRemoteNameOfAFolder", .options = {.program = sshd},
            .reason = "store up: .*", .remoteFile = "up", .staysOpen = true, .fileRefused = true},
    // A server that must not be trusted is refused before the password reaches it.
    Failure{"TlsUnknownAuthority", {.tls = Tls::Explicit, .certificate = Certificate::Untrusted},
            "connect to 127.0.0.1:[0-9]+: SSL certificate problem: .*"},
    Failure{"TlsHostNameMismatch", {.tls = Tls::Implicit, .certificate = Certificate::OtherName},
            "connect to 127.0.0.1:[0-9]+: .*127.0.0.1.*"},
    Failure{.name = "SftpUnknownHostKey", .options = {.program = sshd},
            .reason = "connect to .*: the server's host key is not in .*; .*ssh-keyscan -p [0-9]+ "
                      "127.0.0.1 >> .*/.ssh/known_hosts",
            .knownHosts = [](const FtpServer&) { return std::string(); }},
    // The client's own public key stands in for another host key.
    Failure{.name = "SftpChangedHostKey", .options = {.program = sshd},
            .reason = "connect to .*: the server's host key has CHANGED .*",
            .knownHosts = [](const FtpServer& server) {
                return "[127.0.0.1]:" + std::to_string(server.port()) + " " +
                       readBytes(server.clientHome() / ".ssh" / "id_ed25519.pub");
            }}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Destroying a thread returns at once, whatever its worker waits for, and the worker ends
// well before the end of the program would stop waiting for it (500 ms).
void expectEndsAtOnce(std::unique_ptr<FTPThread> thread) {
    const auto control = thread->control();
    const auto begin = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(control->waitEnded(250ms));
}

class FTPThreadTest : public testing::Test {
protected:
    std::unique_ptr<FTPThread> makeThread(FtpServer& on, bool stopOnError,
                                          bool rightPassword = true,
                                          FTPThread::RetryPause pause = {100ms, 400ms}) {
        setenv("HOME", on.clientHome().c_str(), 1);
        auto thread = std::make_unique<FTPThread>(
            on.scheme() + "127.0.0.1", on.user(), rightPassword ? on.password() : "wrong",
            on.port(), stopOnError, true, std::make_shared<HealthLine>(FTPThread::healthWords),
            pause);
        thread->start();
        return thread;
    }
    // Replaces the local file the way the grabber does, by renaming a new file over it, so
    // that an upload still reading the old one is not disturbed, and posts it, as the grab
    // schedule does after each grab, until the worker takes it or, with `arrive`, until it
    // has arrived.
    bool post(FTPThread& thread, const std::string& bytes, const std::string& remote = "cam.jpg",
              bool arrive = true) {
        writeBytes(local.path() / "next.jpg", bytes);
        std::filesystem::rename(local.path() / "next.jpg", local.path() / "image.jpg");
        return waitUntil([&] {
            return thread.post(local.file("image.jpg"), remote) &&
                   (!arrive || readBytes(server.home() / remote) == bytes);
        });
    }

    FtpServer server{{.uploadBytesPerS = 200 * 1024}};
    TempDir local;
};

TEST_F(FTPThreadTest, SkipsAFilePostedWhileUploadingAndStopsAtOnceMidUpload) {
    auto thread = makeThread(server, false);
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    ASSERT_TRUE(post(*thread, binaryBytes(600 * 1024, 1), "first.jpg", false));
    ASSERT_TRUE(waitUntil([&] { return server.events("DATA").size() == 1; }));
    EXPECT_TRUE(thread->post(local.file("image.jpg"), "second.jpg"));
    ASSERT_TRUE(waitUntil([&] { return server.storedCount() == 1 && thread->suspended(); }));
    EXPECT_FALSE(std::filesystem::exists(server.home() / "second.jpg"));

    ASSERT_TRUE(post(*thread, binaryBytes(4 << 20, 2), "big.jpg", false));
    ASSERT_TRUE(waitUntil([&] {
        return std::filesystem::exists(server.home() / FTPSession::temporaryName("big.jpg"));
    }));
    expectEndsAtOnce(std::move(thread));
}

// With "Stop on all FTP errors." the worker ends at the first failure with its message; a
// file that failed on a live connection is not tried again over a new one.
TEST_F(FTPThreadTest, StopOnErrorEndsTheWorkerAtAFileThatCannotBeSentWithItsMessage) {
    auto thread = makeThread(server, true);
    ASSERT_TRUE(waitUntil([&] { return !thread->post(local.file("none.jpg"), "cam.jpg"); }));
    EXPECT_THAT(thread->lastError(), testing::StartsWith("::FTP::\nCannot transfer"));
    EXPECT_TRUE(thread->control()->waitEnded(20s));
    EXPECT_EQ(server.loginCount(), 1);
}

TEST_F(FTPThreadTest, ANameThatCannotBeAFileFailsAtEachGrabOverOneLoginAndIsSaidOnce) {
    auto thread = makeThread(server, false);
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    writeBytes(local.path() / "image.jpg", "x");
    testing::internal::CaptureStderr();
    for (int grab = 0; grab < 3; ++grab) {
        ASSERT_TRUE(thread->post(local.file("image.jpg"), "up/"));
        ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    }
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::MatchesRegex("kavriWebCam: upload failing: store up/: [^\n]*\n"));
    EXPECT_EQ(server.loginCount(), 1);
}

TEST_F(FTPThreadTest, StoresAgainOnceOverAFreshLoginWhereTheServerClosedTheConnection) {
    auto thread = makeThread(server, false);
    ASSERT_TRUE(post(*thread, "before"));
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    testing::internal::CaptureStderr();
    // As after the server's idle time-out; nothing is said.
    server.restart();
    ASSERT_TRUE(post(*thread, "again"));
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));

    // Without stopOnError a failure that a fresh login cannot cure is said once, and so is
    // the recovery.
    server.stop();
    ASSERT_TRUE(post(*thread, "lost", "cam.jpg", false));
    ASSERT_TRUE(waitUntil([&] { return !thread->suspended(); }));
    server.restart();
    ASSERT_TRUE(post(*thread, "after"));
    EXPECT_EQ(server.loginCount(), 3);
    // The file arrives a moment before the worker hears that the store is complete.
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::MatchesRegex("kavriWebCam: upload failing: connect to [^\n]*\n"
                                      "kavriWebCam: upload working again after [^\n]*\n"));
    expectEndsAtOnce(std::move(thread));
}

TEST_F(FTPThreadTest, RetriesARefusedLoginWithAPauseDoublingUpToTheLongestAndStopsAtOnceInIt) {
    auto thread = makeThread(server, false, false, {200ms, 1600ms});
    const std::chrono::milliseconds pauses[] = {200ms, 400ms, 800ms, 1600ms, 1600ms};
    ASSERT_TRUE(waitUntil([&] { return server.events("FAILED").size() > std::size(pauses); }));
    // "FAILED webcam <seconds>": a pause lies between two refusals; one that had doubled once
    // more would take at least twice as long.
    const auto refused = server.events("FAILED");
    for (std::size_t i = 0; i < std::size(pauses); ++i) {
        const std::chrono::duration<double> gap(std::stod(refused[i + 1].substr(14)) -
                                                std::stod(refused[i].substr(14)));
        EXPECT_GE(gap, pauses[i]) << "pause " << i;
        EXPECT_LT(gap, 2 * pauses[i]) << "pause " << i;
    }
    expectEndsAtOnce(std::move(thread));
}

TEST_F(FTPThreadTest, StopsAtOnceWhileAServerNeverAnswersOrHangsMidStore) {
    FtpServer silent({FtpServer::Mode::Silent});
    auto thread = makeThread(silent, false);
    ASSERT_TRUE(waitUntil([&] { return silent.connectionCount() == 1; }));
    expectEndsAtOnce(std::move(thread));

    // Over SFTP the library waits for the server inside one call at the end of a store.
    FtpServer frozen({.program = sshd});
    thread = makeThread(frozen, false);
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    writeBytes(local.path() / "image.jpg", binaryBytes(32 << 20, 3));
    ASSERT_TRUE(thread->post(local.file("image.jpg"), "cam.jpg"));
    ASSERT_TRUE(waitUntil([&] {
        return std::filesystem::exists(frozen.home() / FTPSession::temporaryName("cam.jpg"));
    }));
    frozen.freeze();
    expectEndsAtOnce(std::move(thread));
}

// Grabs further apart than a real server's idle time-out: each file goes at once over a fresh
// login, and with "Stop on all FTP errors." set nothing counts as a failure.
class FTPThreadIdleTest : public FTPThreadTest,
                          public testing::WithParamInterface<FtpServer::Program> {};

TEST_P(FTPThreadIdleTest, GrabsFurtherApartThanTheServersIdleTimeoutAreAllStored) {
    FtpServer idle({.idleTimeoutS = 1, .program = GetParam()});
    auto thread = makeThread(idle, true);
    for (unsigned grab = 0; grab < 3; ++grab) {
        ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
        std::this_thread::sleep_for(2s);
        const std::string bytes = binaryBytes(40000 + grab, grab);
        writeBytes(local.path() / "image.jpg", bytes);
        ASSERT_TRUE(thread->post(local.file("image.jpg"), "cam.jpg"));
        ASSERT_TRUE(waitUntil([&] { return readBytes(idle.home() / "cam.jpg") == bytes; }))
            << "grab " << grab;
    }
    EXPECT_TRUE(waitUntil([&] { return idle.loginCount() == 4; }));
}

INSTANTIATE_TEST_SUITE_P(Servers, FTPThreadIdleTest,
                         testing::Values(FtpServer::Program::Pyftpdlib, FtpServer::Program::Vsftpd),
                         [](const auto& info) {
                             return info.param == FtpServer::Program::Vsftpd ? "Vsftpd"
                                                                             : "Pyftpdlib";
                         });

} // namespace
