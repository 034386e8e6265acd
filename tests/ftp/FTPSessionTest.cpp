#include "ftp/FTPSession.h"

#include "platform/Exception.h"
#include "tests/ftp/FtpTestFiles.h"
#include "tests/support/Deadline.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

class FTPSessionTest : public testing::Test {
public:
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
    // The commands by which a client asks for such a data connection.
    std::vector<std::string> commands;
};

class FTPSessionModeTest : public FTPSessionTest, public testing::WithParamInterface<Mode> {};

TEST_P(FTPSessionModeTest, StoresTheFileByteForByte) {
    const std::string bytes = binaryBytes(300 * 1024 + 7, 1);
    FTPSession session;
    connect(session, GetParam().passive);
    session.put(localFile(bytes), "image.jpg");
    EXPECT_EQ(readBytes(server.home() / "image.jpg"), bytes);
    EXPECT_THAT(server.dataCommands(),
                testing::AllOf(testing::Not(testing::IsEmpty()),
                               testing::Each(testing::AnyOfArray(GetParam().commands))));
}

INSTANTIATE_TEST_SUITE_P(DataConnection, FTPSessionModeTest,
                         testing::Values(Mode{"Passive", true, {"EPSV", "PASV"}},
                                         Mode{"Active", false, {"EPRT", "PORT"}}),
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

struct Failure {
    const char* name;
    void (*call)(FTPSessionTest& test, FTPSession& session);
    bool inPut;
    // The reason the session gives, as a regular expression.
    const char* reason;
    // Whether the session takes the next file after this failure.
    bool staysOpen;
};

class FTPSessionFailureTest : public FTPSessionTest, public testing::WithParamInterface<Failure> {};

TEST_P(FTPSessionFailureTest, ThrowsTheMessageAndKeepsTheReason) {
    FTPSession session;
    std::string message = "no exception";
    try {
        GetParam().call(*this, session);
    } catch (const FTPPutException& error) {
        message = GetParam().inPut ? error.message : "wrong kind: " + error.message;
    } catch (const FTPException& error) {
        message = GetParam().inPut ? "wrong kind: " + error.message : error.message;
    }
    EXPECT_EQ(message, GetParam().inPut ? transferMessage : connectMessage);
    EXPECT_THAT(session.failureReason(), testing::MatchesRegex(GetParam().reason));
    EXPECT_THAT(session.failureReason(),
                testing::Not(testing::AnyOf(testing::HasSubstr(server.password()),
                                            testing::HasSubstr("wrong"))));
    // Nothing was stored and no directory was made.
    EXPECT_TRUE(std::filesystem::is_empty(server.home()));

    ASSERT_EQ(session.isOpen(), GetParam().staysOpen);
    if (GetParam().staysOpen) {
        session.put(localFile("next"), "image.jpg");
        EXPECT_EQ(readBytes(server.home() / "image.jpg"), "next");
        EXPECT_EQ(server.loginCount(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FTPSessionFailureTest,
    testing::Values(
        Failure{"WrongPassword",
                [](FTPSessionTest& test, FTPSession& session) {
                    session.connect("127.0.0.1", test.server.user(), "wrong", test.server.port(),
                                    true);
                },
                false, "connect to 127\\.0\\.0\\.1:[0-9]+: 530 .*", false},
        Failure{"ClosedPort",
                [](FTPSessionTest& test, FTPSession& session) {
                    session.connect("127.0.0.1", test.server.user(), test.server.password(),
                                    closedPort(), true);
                },
                false, "connect to 127\\.0\\.0\\.1:[0-9]+: .*onnect.*", false},
        Failure{"UnknownHost",
                [](FTPSessionTest& test, FTPSession& session) {
                    session.connect("no-such-host.invalid", test.server.user(),
                                    test.server.password(), test.server.port(), true);
                },
                false, "connect to no-such-host\\.invalid:[0-9]+: .*resolve.*", false},
        Failure{"MissingLocalFile",
                [](FTPSessionTest& test, FTPSession& session) {
                    test.connect(session);
                    session.put(test.local.file("none.jpg"), "image.jpg");
                },
                true, "store image\\.jpg: cannot read .*none\\.jpg: No such file or directory",
                true},
        Failure{"MissingRemoteDirectory",
                [](FTPSessionTest& test, FTPSession& session) {
                    test.connect(session);
                    session.put(test.localFile("abc"), "missing/image.jpg");
                },
                true, "store missing/image\\.jpg: 550 .*", true},
        Failure{"PutWithoutConnect",
                [](FTPSessionTest& test, FTPSession& session) {
                    session.put(test.localFile("abc"), "image.jpg");
                },
                true, "store image\\.jpg: not connected", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FTPSessionTest, StopFlagAbortsAConnectToAServerThatNeverAnswers) {
    FtpServer silent(FtpServer::Options{FtpServer::Mode::Silent});
    std::atomic<bool> stop{false};
    FTPSession session(&stop);
    std::thread stopper([&] {
        waitUntil([&] { return silent.connectionCount() == 1; });
        stop = true;
    });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_THROW(session.connect("127.0.0.1", "user", "password", silent.port(), true),
                 FTPException);
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
