#include "ftp/FTPThread.h"

#include "tests/ftp/FtpTestFiles.h"
#include "tests/support/Deadline.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

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
                                                  stopOnError, true, pause);
        thread->start();
        return thread;
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
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(slow.home() / "first.jpg"); }));
    ASSERT_EQ(slow.storedCount(), 0) << "the upload ended before the second post";
    EXPECT_TRUE(thread->post(localPath(), "second.jpg"));

    ASSERT_TRUE(waitUntil([&] { return slow.storedCount() == 1 && thread->suspended(); }));
    writeLocal("third");
    EXPECT_TRUE(thread->post(localPath(), "third.jpg"));
    ASSERT_TRUE(waitUntil([&] { return slow.storedCount() == 2; }));
    EXPECT_EQ(readBytes(slow.home() / "third.jpg"), "third");
    EXPECT_FALSE(std::filesystem::exists(slow.home() / "second.jpg"));
}

TEST_F(FTPThreadTest, StopOnErrorEndsTheWorkerWhenTheServerGoes) {
    auto thread = makeThread(true);
    writeLocal("abc");
    ASSERT_TRUE(postUntilArrived(*thread, "cam.jpg", "abc"));
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));

    server.stop();
    ASSERT_TRUE(waitUntil([&] { return !thread->post(localPath(), "cam.jpg"); }));
    EXPECT_EQ(thread->lastError(), transferMessage);
    EXPECT_TRUE(thread->control()->waitEnded(20s));
}

TEST_F(FTPThreadTest, StopOnErrorReportsARefusedLogin) {
    auto thread = makeThread(server, true, "wrong");
    writeLocal("abc");
    ASSERT_TRUE(waitUntil([&] { return !thread->post(localPath(), "cam.jpg"); }));
    EXPECT_EQ(thread->lastError(), connectMessage);
    EXPECT_EQ(server.loginCount(), 0);
}

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
}

TEST_F(FTPThreadTest, WithoutStopOnErrorRetriesARefusedLoginWithAGrowingPause) {
    auto thread = makeThread(server, false, "wrong", {100ms, 400ms});
    const auto begin = std::chrono::steady_clock::now();
    writeLocal("abc");
    ASSERT_TRUE(waitUntil([&] {
        EXPECT_TRUE(thread->post(localPath(), "cam.jpg"));
        return server.failedLoginCount() >= 4;
    }));
    // Three pauses of at least 100, 200 and 400 ms lie between the first and the fourth
    // attempt.
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 700ms);
    EXPECT_TRUE(thread->lastError().empty());
    EXPECT_FALSE(std::filesystem::exists(server.home() / "cam.jpg"));
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
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(slow.home() / "big.jpg"); }));

    // The server takes about 20 s for this file; the worker ends long before that only if
    // the transfer is aborted. (Whether the server keeps the truncated file is up to it: a
    // store has no length, so a closed data connection looks like the end of the file.)
    const auto begin = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(control->waitEnded(5s));
}

} // namespace
