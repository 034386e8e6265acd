#include "ftp/FTPSession.h"

#include "image/JpegWriter.h"
#include "platform/Exception.h"
#include "tests/ftp/FtpTestFiles.h"
#include "tests/support/Deadline.h"
#include "tests/support/FtpServer.h"
#include "tests/support/JpegImage.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

using namespace std::chrono_literals;

namespace {

const std::string connectMessage =
    "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";
const std::string transferMessage =
    "::FTP::\nCannot transfer the file, please check the following:\n * the source file exists.\n"
    " * the destination path exists,\n * the ftp server is responding.";

// A user id no account has, for files that belong to somebody else.
constexpr uid_t otherUser = 54321;

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
        Failure{"OtherUsersLink",
                [](FTPSessionTest& test, FTPSession& session) {
                    test.connect(session);
                    // Another user swaps in a link to a private file of the user's.
                    const auto link = test.local.path() / "swapped.jpg";
                    writeBytes(test.local.path() / "private.txt", "secret");
                    std::filesystem::create_symlink(test.local.path() / "private.txt", link);
                    ASSERT_EQ(lchown(link.c_str(), otherUser, otherUser), 0);
                    session.put(link.string(), "image.jpg");
                },
                true,
                "store image\\.jpg: cannot read .*swapped\\.jpg: another user's link, or not a "
                "regular file",
                true},
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

TEST_F(FTPSessionTest, SendsTheFileBehindTheUsersOwnLink) {
    writeBytes(local.path() / "web.jpg", "linked");
    const auto link = local.path() / "image.jpg";
    std::filesystem::create_symlink(local.path() / "web.jpg", link);
    FTPSession session;
    connect(session);
    session.put(link.string(), "image.jpg");
    EXPECT_EQ(readBytes(server.home() / "image.jpg"), "linked");
}

struct Field {
    const char* name;
    const char* host;
    const char* user;
    const char* password;
    const char* remoteFile;
};

class FTPSessionControlCharacterTest : public FTPSessionTest,
                                       public testing::WithParamInterface<Field> {};

TEST_P(FTPSessionControlCharacterTest, IsRefusedAsASettingAndNothingIsSent) {
    writeBytes(server.home() / "keep.jpg", "keep");
    const Field& field = GetParam();
    FTPSession session;
    std::string message = "no exception";
    try {
        session.connect(field.host, field.user != nullptr ? field.user : server.user(),
                        field.password != nullptr ? field.password : server.password(),
                        server.port(), true);
        session.put(localFile("abc"), field.remoteFile);
    } catch (const FTPException& error) {
        message = error.message;
    }
    EXPECT_EQ(message, connectMessage);
    EXPECT_EQ(readBytes(server.home() / "keep.jpg"), "keep");
    EXPECT_EQ(server.storedCount(), 0);
    // A setting of the connection is refused before the server hears of it.
    EXPECT_EQ(server.connectionCount(), std::string(field.remoteFile) == "image.jpg" ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FTPSessionControlCharacterTest,
    testing::Values(Field{"Host", "127.0.0.1\r\nDELE keep.jpg", nullptr, nullptr, "image.jpg"},
                    Field{"User", "127.0.0.1", "webcam\r\nDELE keep.jpg", nullptr, "image.jpg"},
                    Field{"Password", "127.0.0.1", nullptr, "x\r\nDELE keep.jpg", "image.jpg"},
                    Field{"Tab", "127.0.0.1", nullptr, "s3cret\tpass", "image.jpg"},
                    Field{"Delete", "127.0.0.1",
                          "web\x7f"
                          "cam",
                          nullptr, "image.jpg"},
                    Field{"RemotePath", "127.0.0.1", nullptr, nullptr, "a.jpg\r\nDELE keep.jpg"}),
    [](const auto& info) { return std::string(info.param.name); });

struct HostForm {
    const char* name;
    std::string host;
};

class FTPSessionHostFormTest : public FTPSessionTest,
                               public testing::WithParamInterface<HostForm> {};

TEST_P(FTPSessionHostFormTest, ThatIsNotAcceptedFailsTheConnect) {
    FTPSession session;
    EXPECT_THROW(
        try {
            session.connect(GetParam().host, server.user(), server.password(), server.port(), true);
        } catch (const FTPException& error) {
            EXPECT_EQ(error.message, connectMessage);
            throw;
        },
        FTPException);
    EXPECT_EQ(server.connectionCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Hosts, FTPSessionHostFormTest,
                         testing::Values(HostForm{"UnknownScheme", "http://127.0.0.1"},
                                         HostForm{"EmptyHostPart", "ftpes://"},
                                         HostForm{"Path", "ftp://127.0.0.1/pub"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The protocols, each against its own server, started once for the whole run. The program
// trusts the TLS servers' authority through SSL_CERT_FILE and finds its SSH key and the
// server's host key under HOME, as it would for a user.
struct Protocol {
    const char* name;
    FtpServer::Options options;
};

FtpServer::Options withTls(FtpServer::Tls tls,
                           FtpServer::Certificate certificate = FtpServer::Certificate::Trusted) {
    FtpServer::Options options;
    options.tls = tls;
    options.certificate = certificate;
    return options;
}

FtpServer::Options sftp(FtpServer::Program program = FtpServer::Program::Sshd) {
    FtpServer::Options options;
    options.program = program;
    return options;
}

const Protocol protocols[] = {{"Ftp", {}},
                              {"FtpesTls", withTls(FtpServer::Tls::Explicit)},
                              {"FtpsTls", withTls(FtpServer::Tls::Implicit)},
                              {"Sftp", sftp()}};
// The ways to log in: by password, and over SFTP by key (sshd) or by password (paramiko).
const Protocol logins[] = {protocols[0],
                           protocols[1],
                           protocols[2],
                           protocols[3],
                           {"SftpPassword", sftp(FtpServer::Program::Paramiko)}};

FtpServer& sharedServer(const Protocol& protocol) {
    static std::map<std::string, std::unique_ptr<FtpServer>> servers;
    auto& server = servers[protocol.name];
    if (!server) {
        server = std::make_unique<FtpServer>(protocol.options);
    }
    return *server;
}

void useServer(const FtpServer& server) {
    setenv("SSL_CERT_FILE", FtpServer::caFile().c_str(), 1);
    unsetenv("SSH_AUTH_SOCK");
    if (server.scheme() == "sftp://") {
        setenv("HOME", server.clientHome().c_str(), 1);
    }
}

void connectTo(FtpServer& server, FTPSession& session) {
    useServer(server);
    session.connect(server.scheme() + "127.0.0.1", server.user(), server.password(), server.port(),
                    true);
}

// A JPEG file of the given size at least: a small image, with comment-like segments of
// filler inserted after its start, which decoders skip.
std::string jpegBytes(const TempDir& dir, unsigned seed, std::size_t atLeast = 0) {
    constexpr int width = 64;
    constexpr int height = 48;
    std::vector<std::uint8_t> rows(width * 3 * height);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = static_cast<std::uint8_t>(i * seed + seed);
    }
    const std::string path = dir.file("made.jpg");
    JpegWriter writer;
    writer.setQuality(90);
    EXPECT_EQ(writer.write(rows.data(), width, height, path), 0);
    std::string bytes = readBytes(path);
    std::string filler;
    while (bytes.size() + filler.size() < atLeast) {
        constexpr std::size_t segment = 0xFFFF;
        filler += "\xFF\xEF";
        filler += static_cast<char>(segment >> 8);
        filler += static_cast<char>(segment & 0xFF);
        filler += std::string(segment - 2, static_cast<char>(seed));
    }
    bytes.insert(2, filler);
    return bytes;
}

class FTPSessionProtocolTest : public testing::TestWithParam<Protocol> {
protected:
    FtpServer& server = sharedServer(GetParam());
    TempDir local;
};

class FTPSessionLoginTest : public FTPSessionProtocolTest {};

TEST_P(FTPSessionLoginTest, StoresByteIdenticalFilesOverOneLogin) {
    std::filesystem::create_directories(server.home() / "cam pics");
    const int loginsBefore = server.loginCount();
    FTPSession session;
    connectTo(server, session);
    for (unsigned i = 0; i < 3; ++i) {
        for (const std::string remote : {"image.jpg", "cam pics/now.jpg"}) {
            // Each file replaces a longer one.
            const std::string bytes = binaryBytes(100 * 1024 * (2 - i) + 7, i);
            writeBytes(local.path() / "image.jpg", bytes);
            session.put(local.file("image.jpg"), remote);
            EXPECT_TRUE(readBytes(server.home() / remote) == bytes)
                << remote << " " << i << " " << readBytes(server.home() / remote).size() << " of "
                << bytes.size();
            EXPECT_FALSE(
                std::filesystem::exists(server.home() / FTPSession::temporaryName(remote)));
        }
    }
    EXPECT_EQ(server.loginCount() - loginsBefore, 1);
}

TEST_P(FTPSessionProtocolTest, AReaderNeverGetsAnythingButAWholeImage) {
    constexpr int uploads = 500;
    constexpr int stops = 20;
    const std::string remote = "watched.jpg";
    std::vector<std::string> images = {jpegBytes(local, 1), jpegBytes(local, 2),
                                       jpegBytes(local, 3), jpegBytes(local, 4, 16 << 20)};
    std::unordered_set<std::string> whole;
    for (std::size_t i = 0; i < images.size(); ++i) {
        writeBytes(local.path() / ("image" + std::to_string(i) + ".jpg"), images[i]);
        ASSERT_TRUE(JpegImage::read(local.file("image" + std::to_string(i) + ".jpg")));
        whole.insert(images[i]);
    }

    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> broken{0};
    std::thread reader([&] {
        while (!done) {
            const std::string got = readBytes(server.home() / remote);
            if (!got.empty()) {
                ++reads;
                broken += whole.count(got) == 0 ? 1 : 0;
            }
        }
    });

    std::atomic<bool> stop{false};
    auto session = std::make_unique<FTPSession>(&stop);
    connectTo(server, *session);
    int stopped = 0;
    for (int upload = 0; upload < uploads || stopped < stops; ++upload) {
        if (upload % (uploads / stops) == 0 && stopped < stops && upload < 4 * uploads) {
            // A big image, stopped as soon as its first bytes are on the server.
            std::thread stopper([&] {
                waitUntil([&] {
                    std::error_code error;
                    return std::filesystem::file_size(
                               server.home() / FTPSession::temporaryName(remote), error) > 0;
                });
                stop = true;
            });
            try {
                session->put(local.file("image3.jpg"), remote);
            } catch (const FTPException&) {
                ++stopped;
            }
            stopper.join();
            stop = false;
            session = std::make_unique<FTPSession>(&stop);
            connectTo(server, *session);
        }
        session->put(local.file("image" + std::to_string(upload % 3) + ".jpg"), remote);
    }
    done = true;
    reader.join();
    EXPECT_EQ(stopped, stops);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(broken, 0) << "of " << reads << " reads";
    EXPECT_FALSE(std::filesystem::exists(server.home() / FTPSession::temporaryName(remote)));
}

INSTANTIATE_TEST_SUITE_P(Protocols, FTPSessionProtocolTest, testing::ValuesIn(protocols),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Logins, FTPSessionLoginTest, testing::ValuesIn(logins),
                         [](const auto& info) { return std::string(info.param.name); });

struct RemoteName {
    const char* name;
    std::string path;
};

class FTPSessionNameTest : public testing::TestWithParam<std::tuple<RemoteName, Protocol>> {};

TEST_P(FTPSessionNameTest, ReachesTheServerUnchanged) {
    const auto& [name, protocol] = GetParam();
    FtpServer& server = sharedServer(protocol);
    std::filesystem::create_directories(server.home() / "cam pics" / "100%");
    TempDir local;
    const std::string bytes = binaryBytes(4096, 7);
    writeBytes(local.path() / "image.jpg", bytes);
    FTPSession session;
    connectTo(server, session);
    session.put(local.file("image.jpg"), name.path);
    EXPECT_EQ(readBytes(server.home() / name.path), bytes);
}

// Names pass through URLs, and over SFTP also through quoted commands.
INSTANTIATE_TEST_SUITE_P(
    Paths, FTPSessionNameTest,
    testing::Combine(
        testing::Values(RemoteName{"Blank", "my image.jpg"}, RemoteName{"Percent", "100%.jpg"},
                        RemoteName{"PercentEscape", "%41%2F.jpg"}, RemoteName{"Hash", "cam#1.jpg"},
                        RemoteName{"Question", "what?.jpg"},
                        RemoteName{"TypeSuffix", "x.jpg;type=a"}, RemoteName{"Plus", "a+b=c&d.jpg"},
                        RemoteName{"Quotes", "say \"cheese\" \\ 'now'.jpg"},
                        RemoteName{"Utf8", "kameran \xc3\xa5\xc3\xa4\xc3\xb6.jpg"},
                        RemoteName{"InSubdirectories", "cam pics/100%/now.jpg"}),
        testing::Values(protocols[0], protocols[3])),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
    });

// A server that must not be trusted: the connect fails before the login, so the password
// never reaches it, and the reason says what is wrong.
struct Untrusted {
    const char* name;
    FtpServer::Options options;
    // What the known_hosts file says about the SSH server, when it is one.
    std::string (*knownHosts)(const FtpServer& server);
    const char* reason;
};

class FTPSessionUntrustedTest : public testing::TestWithParam<Untrusted> {};

TEST_P(FTPSessionUntrustedTest, FailsTheConnectAndSaysWhy) {
    const Untrusted& row = GetParam();
    FtpServer server(row.options);
    useServer(server);
    if (row.knownHosts != nullptr) {
        const auto knownHosts = server.clientHome() / ".ssh" / "known_hosts";
        std::ofstream(knownHosts, std::ios::trunc) << row.knownHosts(server);
    }
    FTPSession session;
    std::string message = "no exception";
    try {
        connectTo(server, session);
    } catch (const FTPException& error) {
        message = error.message;
    }
    EXPECT_EQ(message, connectMessage);
    const std::string port = std::to_string(server.port());
    std::string reason = row.reason;
    reason.replace(reason.find("PORT"), 4, port);
    if (reason.find("PORT") != std::string::npos) {
        reason.replace(reason.find("PORT"), 4, port);
    }
    EXPECT_THAT(session.failureReason(), testing::MatchesRegex(reason));
    EXPECT_EQ(server.loginCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FTPSessionUntrustedTest,
    testing::Values(
        Untrusted{"TlsUnknownAuthority",
                  withTls(FtpServer::Tls::Explicit, FtpServer::Certificate::Untrusted), nullptr,
                  "connect to 127\\.0\\.0\\.1:PORT: SSL certificate problem: .*"},
        Untrusted{"TlsHostNameMismatch",
                  withTls(FtpServer::Tls::Implicit, FtpServer::Certificate::OtherName), nullptr,
                  "connect to 127\\.0\\.0\\.1:PORT: .*127\\.0\\.0\\.1.*"},
        Untrusted{"SftpUnknownHostKey", sftp(),
                  [](const FtpServer&) { return std::string("other.example ssh-ed25519 x\n"); },
                  "connect to 127\\.0\\.0\\.1:PORT: the server's host key is not in .*; .*"
                  "record it: ssh-keyscan -p PORT 127\\.0\\.0\\.1 >> .*/\\.ssh/known_hosts"},
        Untrusted{"SftpChangedHostKey", sftp(),
                  [](const FtpServer& server) {
                      // The client's own public key stands in for another host key.
                      const std::string key =
                          readBytes(server.clientHome() / ".ssh" / "id_ed25519.pub");
                      return "[127.0.0.1]:" + std::to_string(server.port()) + " " + key;
                  },
                  "connect to 127\\.0\\.0\\.1:PORT: the server's host key has CHANGED .*"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FTPSessionTest, StoresStraightUnderTheNameWhereTheServerRefusesRenames) {
    FtpServer::Options options;
    options.refuseRenames = true;
    FtpServer refusing(options);
    testing::internal::CaptureStderr();
    FTPSession session;
    session.connect("127.0.0.1", refusing.user(), refusing.password(), refusing.port(), true);
    for (const std::string bytes : {"first", "second"}) {
        session.put(localFile(bytes), "image.jpg");
        EXPECT_EQ(readBytes(refusing.home() / "image.jpg"), bytes);
        EXPECT_FALSE(
            std::filesystem::exists(refusing.home() / FTPSession::temporaryName("image.jpg")));
    }
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::MatchesRegex(
                    "kavriWebCam: upload: 127\\.0\\.0\\.1:" + std::to_string(refusing.port()) +
                    " refuses to rename files; [^\n]*\n"));
}

} // namespace
