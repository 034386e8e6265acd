#include "ftp/FTPThread.h"

#include "ftp/FTPSession.h"
#include "tests/ftp/FtpTestFiles.h"
#include "tests/support/Deadline.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

class FTPThreadTest : public testing::Test {
protected:
    std::unique_ptr<FTPThread> makeThread(FtpServer& on, bool stopOnError,
                                          bool rightPassword = true,
                                          FTPThread::RetryPause pause = {100ms, 400ms}) {
        auto thread = std::make_unique<FTPThread>(
            "127.0.0.1", on.user(), rightPassword ? on.password() : "wrong", on.port(), stopOnError,
            true, std::make_shared<HealthLine>(FTPThread::healthWords), pause);
        thread->start();
        return thread;
    }
    std::string localPath() const { return local.file("image.jpg"); }
    // Replaces the local file the way the grabber does, by renaming a new file over it, so
    // that an upload still reading the old one is not disturbed.
    void writeLocal(const std::string& bytes) {
        writeBytes(local.path() / "next.jpg", bytes);
        std::filesystem::rename(local.path() / "next.jpg", localPath());
    }
    // Posts the local file, as the grab schedule does after each grab, until it has arrived.
    bool postUntilArrived(FTPThread& thread, const std::string& bytes) {
        writeLocal(bytes);
        return waitUntil([&] {
            EXPECT_TRUE(thread.post(localPath(), "cam.jpg"));
            return readBytes(server.home() / "cam.jpg") == bytes;
        });
    }

    FtpServer server;
    TempDir local;
};

TEST_F(FTPThreadTest, SkipsAFilePostedWhileUploadingAndSendsTheNext) {
    FtpServer slow({.uploadBytesPerS = 200 * 1024});
    auto thread = makeThread(slow, false);
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    writeLocal(binaryBytes(600 * 1024, 1));
    ASSERT_TRUE(thread->post(localPath(), "first.jpg"));
    ASSERT_TRUE(waitUntil([&] {
        return std::filesystem::exists(slow.home() / FTPSession::temporaryName("first.jpg"));
    }));
    EXPECT_TRUE(thread->post(localPath(), "second.jpg"));

    ASSERT_TRUE(waitUntil([&] { return slow.storedCount() == 1 && thread->suspended(); }));
    writeLocal("third");
    EXPECT_TRUE(thread->post(localPath(), "third.jpg"));
    EXPECT_TRUE(waitUntil([&] { return readBytes(slow.home() / "third.jpg") == "third"; }));
    EXPECT_FALSE(std::filesystem::exists(slow.home() / "second.jpg"));
}

// With "Stop on all FTP errors." the worker ends at the first failure with its message.
struct Refusal {
    const char* name;
    bool rightPassword;
    const char* remoteFile;
    const char* message;
    int logins;
};

class FTPThreadRefusalTest : public FTPThreadTest, public testing::WithParamInterface<Refusal> {};

TEST_P(FTPThreadRefusalTest, StopOnErrorEndsTheWorkerWithTheMessage) {
    auto thread = makeThread(server, true, GetParam().rightPassword);
    writeLocal("abc");
    ASSERT_TRUE(waitUntil([&] { return !thread->post(localPath(), GetParam().remoteFile); }));
    EXPECT_THAT(thread->lastError(), testing::StartsWith(GetParam().message));
    EXPECT_TRUE(thread->control()->waitEnded(20s));
    // A server that refuses a file is not asked again over a new connection.
    EXPECT_EQ(server.loginCount(), GetParam().logins);
}

INSTANTIATE_TEST_SUITE_P(
    StopOnError, FTPThreadRefusalTest,
    testing::Values(Refusal{"Login", false, "cam.jpg", "::FTP::\nCannot connect", 0},
                    Refusal{"Store", true, "missing/cam.jpg", "::FTP::\nCannot transfer", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FTPThreadTest, WithoutStopOnErrorRecoversWhenTheServerComesBackAndSaysSoOnce) {
    auto thread = makeThread(server, false);
    ASSERT_TRUE(postUntilArrived(*thread, "before"));
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));

    testing::internal::CaptureStderr();
    server.stop();
    writeLocal("lost");
    EXPECT_TRUE(thread->post(localPath(), "cam.jpg"));
    ASSERT_TRUE(waitUntil([&] { return !thread->suspended(); }));
    EXPECT_TRUE(thread->post(localPath(), "cam.jpg"));

    server.restart();
    ASSERT_TRUE(postUntilArrived(*thread, "after"));
    EXPECT_EQ(server.loginCount(), 2);
    // The file arrives a moment before the worker hears that the store is complete.
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    EXPECT_THAT(
        testing::internal::GetCapturedStderr(),
        testing::MatchesRegex("kavriWebCam: upload failing: connect to 127\\.0\\.0\\.1:" +
                              std::to_string(server.port()) +
                              ": [^\n]*\nkavriWebCam: upload working again after [^\n]*\n"));
}

TEST_F(FTPThreadTest, WithoutStopOnErrorRetriesARefusedLoginWithAPauseDoublingUpToTheLongest) {
    auto thread = makeThread(server, false, false, {200ms, 800ms});
    const std::chrono::milliseconds pauses[] = {200ms, 400ms, 800ms, 800ms, 800ms};
    ASSERT_TRUE(waitUntil([&] { return server.events("FAILED").size() > std::size(pauses); }));
    // "FAILED <user> <seconds>": a pause lies between two refusals; one that had doubled once
    // more would take at least twice as long.
    std::vector<double> refused;
    for (const std::string& event : server.events("FAILED")) {
        refused.push_back(std::stod(event.substr(event.rfind(' '))));
    }
    for (std::size_t i = 0; i < std::size(pauses); ++i) {
        const std::chrono::duration<double> gap(refused[i + 1] - refused[i]);
        EXPECT_GE(gap, pauses[i]) << "pause " << i;
        EXPECT_LT(gap, 2 * pauses[i]) << "pause " << i;
    }
    EXPECT_TRUE(thread->lastError().empty());
}

// Stop and Exit end the worker at once, whatever it waits for.
struct Busy {
    const char* name;
    FtpServer::Options options;
    bool rightPassword;
    // The server's event that shows the worker on its way.
    const char* event;
    // Whether it then waits for a file, and whether it is given one, which the server takes
    // 20 s to receive.
    bool parked;
    bool uploading;
};

class FTPThreadDestroyTest : public FTPThreadTest, public testing::WithParamInterface<Busy> {};

TEST_P(FTPThreadDestroyTest, ReturnsAtOnceAndTheWorkerEnds) {
    FtpServer busy(GetParam().options);
    auto thread = makeThread(busy, false, GetParam().rightPassword, {60s, 60s});
    const auto control = thread->control();
    ASSERT_TRUE(waitUntil([&] { return busy.events(GetParam().event).size() == 1; }));
    ASSERT_TRUE(!GetParam().parked || waitUntil([&] { return thread->suspended(); }));
    if (GetParam().uploading) {
        writeLocal(binaryBytes(2 * 1024 * 1024, 3));
        ASSERT_TRUE(thread->post(localPath(), "big.jpg"));
        ASSERT_TRUE(waitUntil([&] {
            return std::filesystem::exists(busy.home() / FTPSession::temporaryName("big.jpg"));
        }));
    }
    const auto begin = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(control->waitEnded(5s));
}

INSTANTIATE_TEST_SUITE_P(
    Waiting, FTPThreadDestroyTest,
    testing::Values(Busy{"ForAFile", {}, true, "LOGIN", true, false},
                    Busy{"InTheRetryPause", {}, false, "FAILED", false, false},
                    Busy{"ForAServerThatNeverAnswers",
                         {FtpServer::Mode::Silent},
                         true,
                         "CONNECTED",
                         false,
                         false},
                    Busy{
                        "ForAnUpload", {.uploadBytesPerS = 100 * 1024}, true, "LOGIN", true, true}),
    [](const auto& info) { return std::string(info.param.name); });

class FTPThreadIdleTest : public FTPThreadTest,
                          public testing::WithParamInterface<FtpServer::Program> {};

TEST_P(FTPThreadIdleTest, GrabsFurtherApartThanTheServersIdleTimeoutAreAllStored) {
    FtpServer idle({.idleTimeoutS = 1, .program = GetParam()});
    // With "Stop on all FTP errors." any failure that counted would end the worker.
    auto thread = makeThread(idle, true);
    constexpr int grabs = 3;
    for (int grab = 0; grab < grabs; ++grab) {
        ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
        std::this_thread::sleep_for(2s);
        const std::string bytes = binaryBytes(40000 + grab, grab);
        writeLocal(bytes);
        ASSERT_TRUE(thread->post(localPath(), "cam.jpg"));
        ASSERT_TRUE(waitUntil([&] { return readBytes(idle.home() / "cam.jpg") == bytes; }))
            << "grab " << grab;
    }
    // The server closed the connection each time: one login at the start and one per image.
    EXPECT_TRUE(waitUntil([&] { return idle.loginCount() == 1 + grabs; }));
}

INSTANTIATE_TEST_SUITE_P(Servers, FTPThreadIdleTest,
                         testing::Values(FtpServer::Program::Pyftpdlib, FtpServer::Program::Vsftpd),
                         [](const auto& info) {
                             return info.param == FtpServer::Program::Vsftpd ? "Vsftpd"
                                                                             : "Pyftpdlib";
                         });

} // namespace
