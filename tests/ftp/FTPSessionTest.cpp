#include "ftp/FTPSession.h"

#include "platform/Exception.h"
#include "tests/ftp/FtpTestFiles.h"
#include "tests/support/Deadline.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const std::string connectMessage =
    "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";
const std::string transferMessage =
    "::FTP::\nCannot transfer the file, please check the following:\n * the source file exists.\n"
    " * the destination path exists,\n * the ftp server is responding.";

// A port on 127.0.0.1 where nothing listens.
std::uint16_t closedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

template <typename Call> std::string connectFailure(Call call) {
    try {
        call();
    } catch (const FTPPutException& error) {
        return "wrong kind: " + error.message;
    } catch (const FTPException& error) {
        return error.message;
    }
    return "no exception";
}

template <typename Call> std::string putFailure(Call call) {
    try {
        call();
    } catch (const FTPPutException& error) {
        return error.message;
    }
    return "no FTPPutException";
}

class FTPSessionTest : public testing::Test {
protected:
    void connect(FTPSession& session, bool passive = true) {
        session.connect("127.0.0.1", server.user(), server.password(), server.port(), passive);
    }
    std::string localFile(const std::string& bytes) {
        const auto path = local.path() / "image.jpg";
        writeBytes(path, bytes);
        return path.string();
    }

    FtpServer server;
    TempDir local;
};

struct Mode {
    const char* name;
    bool passive;
};

class FTPSessionModeTest : public FTPSessionTest, public testing::WithParamInterface<Mode> {};

TEST_P(FTPSessionModeTest, StoresTheFileByteForByte) {
    const std::string bytes = binaryBytes(300 * 1024 + 7, 1);
    FTPSession session;
    connect(session, GetParam().passive);
    session.put(localFile(bytes), "image.jpg");
    EXPECT_EQ(readBytes(server.home() / "image.jpg"), bytes);
}

INSTANTIATE_TEST_SUITE_P(DataConnection, FTPSessionModeTest,
                         testing::Values(Mode{"Passive", true}, Mode{"Active", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FTPSessionTest, LogsInAtConnect) {
    FTPSession session;
    connect(session);
    EXPECT_TRUE(waitUntil([&] { return server.loginCount() == 1; }));
}

TEST_F(FTPSessionTest, KeepsOneLoginForManyFiles) {
    FTPSession session;
    connect(session);
    for (unsigned i = 0; i < 5; ++i) {
        const std::string bytes = binaryBytes(1000 + i, i);
        session.put(localFile(bytes), "image.jpg");
        EXPECT_EQ(readBytes(server.home() / "image.jpg"), bytes);
    }
    EXPECT_EQ(server.loginCount(), 1);
}

TEST_F(FTPSessionTest, ReplacesAnExistingRemoteFile) {
    writeBytes(server.home() / "image.jpg", std::string(50000, 'x'));
    FTPSession session;
    connect(session);
    session.put(localFile("short"), "image.jpg");
    EXPECT_EQ(readBytes(server.home() / "image.jpg"), "short");
}

TEST_F(FTPSessionTest, UsesOnlyTheLowSixteenBitsOfThePort) {
    FTPSession session;
    session.connect("127.0.0.1", server.user(), server.password(), server.port() + 0x30000u, true);
    session.put(localFile("abc"), "image.jpg");
    EXPECT_EQ(readBytes(server.home() / "image.jpg"), "abc");
}

TEST_F(FTPSessionTest, WrongPasswordFailsInConnect) {
    FTPSession session;
    EXPECT_EQ(connectFailure([&] {
                  session.connect("127.0.0.1", server.user(), "wrong", server.port(), true);
              }),
              connectMessage);
}

TEST_F(FTPSessionTest, ClosedPortFailsInConnect) {
    FTPSession session;
    EXPECT_EQ(connectFailure([&] {
                  session.connect("127.0.0.1", server.user(), server.password(), closedPort(),
                                  true);
              }),
              connectMessage);
}

TEST_F(FTPSessionTest, UnknownHostFailsInConnect) {
    FTPSession session;
    EXPECT_EQ(connectFailure([&] {
                  session.connect("no-such-host.invalid", server.user(), server.password(),
                                  server.port(), true);
              }),
              connectMessage);
}

TEST_F(FTPSessionTest, MissingLocalFileFailsTheTransfer) {
    FTPSession session;
    connect(session);
    EXPECT_EQ(putFailure([&] { session.put((local.path() / "none.jpg").string(), "image.jpg"); }),
              transferMessage);
    EXPECT_FALSE(std::filesystem::exists(server.home() / "image.jpg"));
}

TEST_F(FTPSessionTest, MissingRemoteDirectoryFailsAndIsNotCreated) {
    FTPSession session;
    connect(session);
    EXPECT_EQ(putFailure([&] { session.put(localFile("abc"), "missing/image.jpg"); }),
              transferMessage);
    EXPECT_FALSE(std::filesystem::exists(server.home() / "missing"));
}

TEST_F(FTPSessionTest, PutWithoutConnectFailsTheTransfer) {
    FTPSession session;
    EXPECT_EQ(putFailure([&] { session.put(localFile("abc"), "image.jpg"); }), transferMessage);
}

TEST_F(FTPSessionTest, StopFlagAbortsAConnectToAServerThatNeverAnswers) {
    FtpServer silent(FtpServer::Options{FtpServer::Mode::Silent});
    std::atomic<bool> stop{false};
    FTPSession session(&stop);
    std::thread stopper([&] {
        waitUntil([&] { return silent.connectionCount() == 1; });
        stop = true;
    });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(connectFailure(
                  [&] { session.connect("127.0.0.1", "user", "password", silent.port(), true); }),
              connectMessage);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
}

struct RemoteName {
    const char* name;
    std::string path;
};

class FTPSessionNameTest : public FTPSessionTest, public testing::WithParamInterface<RemoteName> {};

TEST_P(FTPSessionNameTest, ReachesTheServerUnchanged) {
    std::filesystem::create_directories(server.home() / "cam pics" / "100%");
    const std::string bytes = binaryBytes(4096, 7);
    FTPSession session;
    connect(session);
    session.put(localFile(bytes), GetParam().path);
    EXPECT_EQ(readBytes(server.home() / GetParam().path), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FTPSessionNameTest,
    testing::Values(RemoteName{"Blank", "my image.jpg"}, RemoteName{"Percent", "100%.jpg"},
                    RemoteName{"PercentEscape", "%41%2F.jpg"}, RemoteName{"Hash", "cam#1.jpg"},
                    RemoteName{"Question", "what?.jpg"}, RemoteName{"TypeSuffix", "x.jpg;type=a"},
                    RemoteName{"Plus", "a+b=c&d.jpg"},
                    RemoteName{"Utf8", "kameran \xc3\xa5\xc3\xa4\xc3\xb6.jpg"},
                    RemoteName{"InSubdirectories", "cam pics/100%/now.jpg"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
