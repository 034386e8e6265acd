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
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

const std::string connectMessage =
    "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";
const std::string transferMessage =
    "::FTP::\nCannot transfer the file, please check the following:\n * the source file exists.\n"
    " * the destination path exists,\n * the ftp server is responding.";

class FTPThreadTest : public testing::Test {
protected:
    std::unique_ptr<FTPThread> makeThread(FtpServer& on, bool stopOnError,
                                          const std::string& password,
                                          FTPThread::RetryPause pause = {100ms, 400ms}) {
        auto thread = std::make_unique<FTPThread>("127.0.0.1", on.user(), password, on.port(),
                                                  stopOnError, true, health, pause);
        thread->start();
        return thread;
    }
    std::vector<std::string> healthLines() {
        std::lock_guard lock(linesMutex);
        return lines;
    }
    std::unique_ptr<FTPThread> makeThread(bool stopOnError) {
        return makeThread(server, stopOnError, server.password());
    }
    // Posts the local file, as the grab schedule does after each grab, until a copy with
    // the expected bytes has arrived.
    bool postUntilArrived(FTPThread& thread, const std::string& remote, const std::string& bytes) {
        return waitUntil([&] {
            EXPECT_TRUE(thread.post(localPath(), remote));
            return readBytes(server.home() / remote) == bytes;
        });
    }
    std::string localPath() const { return (local.path() / "image.jpg").string(); }
    // Replaces the local file the way the grabber does, by renaming a new file over it, so
    // that an upload still reading the old one is not disturbed.
    void writeLocal(const std::string& bytes) {
        const auto next = local.path() / "next.jpg";
        writeBytes(next, bytes);
        std::filesystem::rename(next, localPath());
    }

    FtpServer server;
    TempDir local;
    std::mutex linesMutex;
    std::vector<std::string> lines;
    // Each reading of the clock is a minute after the last, so that no line waits for the
    // quiet minute after another.
    std::shared_ptr<HealthLine> health = std::make_shared<HealthLine>(
        FTPThread::healthWords,
        [minutes = 0]() mutable {
            return std::chrono::steady_clock::time_point{} + std::chrono::minutes(++minutes);
        },
        [this](const std::string& line) {
            std::lock_guard lock(linesMutex);
            lines.push_back(line);
        });
};

TEST_F(FTPThreadTest, UploadsEachPostedFileOverOneConnection) {
    auto thread = makeThread(false);
    for (unsigned i = 0; i < 3; ++i) {
        const std::string bytes = binaryBytes(20000 + i, i);
        writeLocal(bytes);
        ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
        ASSERT_TRUE(postUntilArrived(*thread, "cam.jpg", bytes));
    }
    EXPECT_EQ(server.loginCount(), 1);
}

TEST_F(FTPThreadTest, SkipsAFilePostedWhileConnecting) {
    FtpServer silent(FtpServer::Options{FtpServer::Mode::Silent});
    auto thread = makeThread(silent, true, "password");
    ASSERT_TRUE(waitUntil([&] { return silent.connectionCount() == 1; }));
    writeLocal("abc");
    EXPECT_TRUE(thread->post(localPath(), "cam.jpg"));
    EXPECT_FALSE(thread->suspended());
}

TEST_F(FTPThreadTest, SkipsAFilePostedWhileUploadingAndSendsTheNext) {
    FtpServer slow(FtpServer::Options{FtpServer::Mode::Answering, 200 * 1024});
    auto thread = makeThread(slow, false, slow.password());
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));

    writeLocal(binaryBytes(600 * 1024, 1));
    ASSERT_TRUE(thread->post(localPath(), "first.jpg"));
    ASSERT_TRUE(waitUntil([&] {
        return std::filesystem::exists(slow.home() / FTPSession::temporaryName("first.jpg"));
    }));
    ASSERT_EQ(slow.storedCount(), 0) << "the upload ended before the second post";
    EXPECT_TRUE(thread->post(localPath(), "second.jpg"));

    ASSERT_TRUE(waitUntil([&] { return slow.storedCount() == 1 && thread->suspended(); }));
    writeLocal("third");
    EXPECT_TRUE(thread->post(localPath(), "third.jpg"));
    EXPECT_TRUE(waitUntil([&] { return readBytes(slow.home() / "third.jpg") == "third"; }));
    EXPECT_FALSE(std::filesystem::exists(slow.home() / "second.jpg"));
}

TEST_F(FTPThreadTest, StopOnErrorEndsTheWorkerWhenTheServerGoes) {
    auto thread = makeThread(true);
    writeLocal("abc");
    ASSERT_TRUE(postUntilArrived(*thread, "cam.jpg", "abc"));
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));

    // The store fails on the kept connection; what counts is that no new one can be made.
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return !thread->post(localPath(), "cam.jpg"); }));
    EXPECT_EQ(thread->lastError(), connectMessage);
    EXPECT_TRUE(thread->control()->waitEnded(20s));
}

struct Refusal {
    const char* name;
    bool rightPassword;
    const char* remoteFile;
    const std::string& message;
    int logins;
};

class FTPThreadRefusalTest : public FTPThreadTest, public testing::WithParamInterface<Refusal> {};

TEST_P(FTPThreadRefusalTest, StopOnErrorEndsTheWorkerWithTheMessage) {
    auto thread = makeThread(server, true, GetParam().rightPassword ? server.password() : "wrong");
    writeLocal("abc");
    ASSERT_TRUE(waitUntil([&] { return !thread->post(localPath(), GetParam().remoteFile); }));
    EXPECT_EQ(thread->lastError(), GetParam().message);
    // A server that refuses a file is not asked again over a new connection.
    EXPECT_EQ(server.loginCount(), GetParam().logins);
}

INSTANTIATE_TEST_SUITE_P(StopOnError, FTPThreadRefusalTest,
                         testing::Values(Refusal{"Login", false, "cam.jpg", connectMessage, 0},
                                         Refusal{"Store", true, "missing/cam.jpg", transferMessage,
                                                 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FTPThreadTest, WithoutStopOnErrorRecoversWhenTheServerComesBack) {
    auto thread = makeThread(false);
    writeLocal("before");
    ASSERT_TRUE(postUntilArrived(*thread, "cam.jpg", "before"));
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));

    server.stop();
    writeLocal("lost");
    EXPECT_TRUE(thread->post(localPath(), "cam.jpg"));
    ASSERT_TRUE(waitUntil([&] { return !thread->suspended(); }));
    EXPECT_TRUE(thread->post(localPath(), "cam.jpg"));

    server.restart();
    writeLocal("after");
    ASSERT_TRUE(postUntilArrived(*thread, "cam.jpg", "after"));
    EXPECT_EQ(server.loginCount(), 2);
    // The file arrives a moment before the worker hears that the store is complete.
    ASSERT_TRUE(waitUntil([&] { return healthLines().size() == 2; }));
    const auto told = healthLines();
    EXPECT_THAT(told[0], testing::StartsWith("kavriWebCam: upload failing: connect to 127.0.0.1:" +
                                             std::to_string(server.port()) + ": "));
    EXPECT_THAT(told[1], testing::StartsWith("kavriWebCam: upload working again after "));
}

TEST_F(FTPThreadTest, WithoutStopOnErrorRetriesARefusedLoginWithAPauseDoublingUpToTheLongest) {
    auto thread = makeThread(server, false, "wrong", {200ms, 800ms});
    const std::chrono::milliseconds pauses[] = {200ms, 400ms, 800ms, 800ms, 800ms};
    ASSERT_TRUE(waitUntil([&] { return server.failedLoginTimes().size() > std::size(pauses); }));
    // A pause lies between two refusals; one that had doubled once more would take at least
    // twice as long.
    const auto refused = server.failedLoginTimes();
    for (std::size_t i = 0; i < std::size(pauses); ++i) {
        const auto gap = refused[i + 1] - refused[i];
        EXPECT_GE(gap, pauses[i]) << "pause " << i;
        EXPECT_LT(gap, 2 * pauses[i]) << "pause " << i;
    }
    EXPECT_TRUE(thread->lastError().empty());
}

TEST_F(FTPThreadTest, DestroyingDuringTheRetryPauseEndsTheWorkerAtOnce) {
    auto thread = makeThread(server, false, "wrong", {60s, 60s});
    const auto control = thread->control();
    ASSERT_TRUE(waitUntil([&] { return server.failedLoginCount() == 1; }));
    thread.reset();
    EXPECT_TRUE(control->waitEnded(5s));
}

TEST_F(FTPThreadTest, DestroyingWhileWaitingForAFileReturnsPromptly) {
    auto thread = makeThread(false);
    const auto control = thread->control();
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    const auto begin = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(control->waitEnded(5s));
    EXPECT_EQ(server.storedCount(), 0);
}

TEST_F(FTPThreadTest, DestroyingWhileAServerNeverAnswersReturnsAndTheWorkerEnds) {
    FtpServer silent(FtpServer::Options{FtpServer::Mode::Silent});
    auto thread = makeThread(silent, false, "password");
    const auto control = thread->control();
    ASSERT_TRUE(waitUntil([&] { return silent.connectionCount() == 1; }));
    writeLocal("abc");
    EXPECT_TRUE(thread->post(localPath(), "cam.jpg"));
    const auto begin = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(control->waitEnded(5s));
}

TEST_F(FTPThreadTest, DestroyingDuringAnUploadAbortsItAndTheWorkerEnds) {
    FtpServer slow(FtpServer::Options{FtpServer::Mode::Answering, 100 * 1024});
    auto thread = makeThread(slow, false, slow.password());
    const auto control = thread->control();
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    writeLocal(binaryBytes(2 * 1024 * 1024, 3));
    ASSERT_TRUE(thread->post(localPath(), "big.jpg"));
    ASSERT_TRUE(waitUntil([&] {
        return std::filesystem::exists(slow.home() / FTPSession::temporaryName("big.jpg"));
    }));

    // The server takes about 20 s for this file; the worker ends long before that only if
    // the transfer is aborted. (Whether the server keeps the truncated file is up to it: a
    // store has no length, so a closed data connection looks like the end of the file.)
    const auto begin = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(control->waitEnded(5s));
}

struct Server {
    const char* name;
    FtpServer::Program program;
};

class FTPThreadServerTest : public FTPThreadTest, public testing::WithParamInterface<Server> {
protected:
    FtpServer::Options options(int idleTimeoutS) const {
        FtpServer::Options options;
        options.idleTimeoutS = idleTimeoutS;
        options.program = GetParam().program;
        return options;
    }
};

TEST_P(FTPThreadServerTest, GrabsFurtherApartThanTheIdleTimeoutAreAllStored) {
    FtpServer idle(options(1));
    // With "Stop on all FTP errors." any failure that counted would end the worker.
    auto thread = makeThread(idle, true, idle.password());
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
    // The server closed the connection each time it was idle: one login at the start and
    // one for each image.
    EXPECT_EQ(idle.loginCount(), 1 + grabs);
    EXPECT_TRUE(thread->lastError().empty());
    EXPECT_THAT(healthLines(), testing::IsEmpty());
}

TEST_P(FTPThreadServerTest, AStoreTheServerRefusesIsToldOnceAndTriedAtEachGrab) {
    FtpServer refusing(options(0));
    testing::internal::CaptureStderr();
    auto thread = std::make_unique<FTPThread>("127.0.0.1", refusing.user(), refusing.password(),
                                              refusing.port(), false, true,
                                              std::make_shared<HealthLine>(FTPThread::healthWords));
    thread->start();
    writeLocal("abc");
    constexpr std::size_t grabs = 4;
    for (std::size_t grab = 1; grab <= grabs; ++grab) {
        ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
        ASSERT_TRUE(thread->post(localPath(), "missing/cam.jpg"));
        ASSERT_TRUE(waitUntil([&] { return refusing.dataCommands().size() == grab; }));
    }
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    thread.reset();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_THAT(told, testing::MatchesRegex(
                          "kavriWebCam: upload failing: store missing/cam.jpg: 55[0-9] [^\n]*\n"));
    EXPECT_EQ(refusing.loginCount(), 1);
    EXPECT_EQ(refusing.dataCommands().size(), grabs);
}

INSTANTIATE_TEST_SUITE_P(Servers, FTPThreadServerTest,
                         testing::Values(Server{"Pyftpdlib", FtpServer::Program::Pyftpdlib},
                                         Server{"Vsftpd", FtpServer::Program::Vsftpd}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
