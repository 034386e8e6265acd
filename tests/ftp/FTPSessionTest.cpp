#include "ftp/FTPSession.h"

#include "platform/Exception.h"
#include "tests/ftp/FtpTestFiles.h"
#include "tests/support/Deadline.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <regex>
#include <thread>
#include <unistd.h>

using testing::MatchesRegex;

namespace {

const std::string connectMessage =
    "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";
const std::string transferMessage =
    "::FTP::\nCannot transfer the file, please check the following:\n * the source file exists.\n"
    " * the destination path exists,\n * the ftp server is responding.";

// Trusts the TLS servers' authority and finds the SSH key and known hosts under HOME, as
// the program does for its user. Only the low 16 bits of the port setting count.
void connect(FTPSession& session, const FtpServer& server, bool passive = true) {
    setenv("SSL_CERT_FILE", FtpServer::caFile().c_str(), 1);
    setenv("HOME", server.clientHome().c_str(), 1);
    unsetenv("SSH_AUTH_SOCK");
    session.connect(server.scheme() + "127.0.0.1", server.user(), server.password(),
                    server.port() + 0x30000u, passive);
}

std::string failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const FTPException& error) {
        return error.message;
    }
    return "no exception";
}

struct Protocol {
    const char* name;
    FtpServer::Options options;
    bool passive = true;
};

FtpServer::Options options(FtpServer::Program program, FtpServer::Tls tls = FtpServer::Tls::None,
                           FtpServer::Certificate certificate = FtpServer::Certificate::Trusted) {
    return {.program = program, .tls = tls, .certificate = certificate};
}

const Protocol ftp{"Ftp", {}};
const Protocol sftp{"Sftp", options(FtpServer::Program::Sshd)};
const Protocol protocols[] = {ftp,
                              {"FtpesTls", options({}, FtpServer::Tls::Explicit)},
                              {"FtpsTls", options({}, FtpServer::Tls::Implicit)},
                              sftp};

// One server of each kind for the whole run.
FtpServer& sharedServer(const Protocol& protocol) {
    static std::map<std::string, std::unique_ptr<FtpServer>> servers;
    auto& server = servers[protocol.name];
    if (!server) {
        server = std::make_unique<FtpServer>(protocol.options);
    }
    return *server;
}

class FTPSessionLoginTest : public testing::TestWithParam<Protocol> {
protected:
    FtpServer& server = sharedServer(GetParam());
    TempDir local;
};

// Names pass through URLs, and over SFTP through quoted commands too.
TEST_P(FTPSessionLoginTest, StoresEachFileWholeUnderItsNameOverOneLogin) {
    const std::string odd =
        "cam pics/100%/say \"cheese\" \\ 'now' #1?%41%2F+a=b&c \xc3\xa5.jpg;type=a";
    std::filesystem::create_directories(server.home() / "cam pics" / "100%");
    const int loginsBefore = server.loginCount();
    FTPSession session;
    connect(session, server, GetParam().passive);
    for (unsigned i = 0; i < 3; ++i) {
        for (const std::string remote : {"image.jpg", odd.c_str()}) {
            // Each file replaces a longer one.
            const std::string bytes = binaryBytes(100 * 1024 * (2 - i) + 7, i);
            writeBytes(local.path() / "image.jpg", bytes);
            session.put(local.file("image.jpg"), remote);
            EXPECT_TRUE(readBytes(server.home() / remote) == bytes) << remote << " " << i;
            EXPECT_FALSE(
                std::filesystem::exists(server.home() / FTPSession::temporaryName(remote)));
        }
    }
    EXPECT_EQ(server.loginCount() - loginsBefore, 1);
    EXPECT_THAT(server.events("DATA "),
                testing::Each(GetParam().passive ? "DATA EPSV" : "DATA EPRT"));
}

INSTANTIATE_TEST_SUITE_P(Logins, FTPSessionLoginTest,
                         testing::Values(protocols[0], protocols[1], protocols[2], protocols[3],
                                         Protocol{"FtpActive", {}, false},
                                         Protocol{"SftpPassword",
                                                  options(FtpServer::Program::Paramiko)}),
                         [](const auto& info) { return std::string(info.param.name); });

class FTPSessionProtocolTest : public FTPSessionLoginTest {};

// A visitor fetching the image must never get half of one.
TEST_P(FTPSessionProtocolTest, AStoppedUploadLeavesTheOldFileUnderTheName) {
    writeBytes(local.path() / "old.jpg", "old");
    writeBytes(local.path() / "big.jpg", binaryBytes(16 << 20, 1));
    const auto temporary = server.home() / FTPSession::temporaryName("watched.jpg");
    std::atomic<bool> stop{false};
    FTPSession session(&stop);
    connect(session, server);
    session.put(local.file("old.jpg"), "watched.jpg");
    std::thread stopper([&] {
        waitUntil([&] {
            std::error_code error;
            return std::filesystem::file_size(temporary, error) > 0;
        });
        stop = true;
    });
    EXPECT_EQ(failureOf([&] { session.put(local.file("big.jpg"), "watched.jpg"); }),
              transferMessage);
    stopper.join();
    EXPECT_EQ(readBytes(server.home() / "watched.jpg"), "old");

    FTPSession next;
    connect(next, server);
    next.put(local.file("big.jpg"), "watched.jpg");
    EXPECT_TRUE(readBytes(server.home() / "watched.jpg") == readBytes(local.path() / "big.jpg"));
    EXPECT_FALSE(std::filesystem::exists(temporary));
}

INSTANTIATE_TEST_SUITE_P(Protocols, FTPSessionProtocolTest, testing::ValuesIn(protocols),
                         [](const auto& info) { return std::string(info.param.name); });

// Each field that is not given is the server's own.
struct Failure {
    const char* name;
    const char* host = "127.0.0.1";
    const char* user = nullptr;
    const char* password = nullptr;
    bool closedPort = false;
    const char* localFile = nullptr;
    const char* remoteFile = "image.jpg";
    const std::string& message = connectMessage;
    // The reason the session gives, as a regular expression.
    const char* reason = "";
    // Whether the session takes the next file after this failure.
    bool staysOpen = false;
};

class FTPSessionFailureTest : public testing::TestWithParam<Failure> {
protected:
    FtpServer server;
    TempDir local;
};

TEST_P(FTPSessionFailureTest, ThrowsTheMessageAndKeepsTheReason) {
    const Failure& row = GetParam();
    writeBytes(server.home() / "keep.jpg", "keep");
    writeBytes(local.path() / "image.jpg", "abc");
    // Another user has swapped in a link to a private file of the user's.
    writeBytes(local.path() / "private.txt", "secret");
    std::filesystem::create_symlink(local.path() / "private.txt", local.path() / "swapped.jpg");
    ASSERT_EQ(lchown(local.file("swapped.jpg").c_str(), 54321, 54321), 0);
    const std::uint16_t port = row.closedPort ? [] {
        FtpServer gone;
        gone.stop();
        return gone.port();
    }()
                                              : server.port();
    FTPSession session;
    EXPECT_EQ(failureOf([&] {
                  session.connect(row.host, row.user ? row.user : server.user(),
                                  row.password ? row.password : server.password(), port, true);
                  session.put(local.file(row.localFile ? row.localFile : "image.jpg"),
                              row.remoteFile);
              }),
              row.message);
    EXPECT_THAT(session.failureReason(), MatchesRegex(row.reason));
    EXPECT_THAT(session.failureReason(), testing::Not(testing::HasSubstr(server.password())));
    // Nothing was stored, deleted or made.
    EXPECT_EQ(readBytes(server.home() / "keep.jpg"), "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(server.home()), {}), 1);

    ASSERT_EQ(session.isOpen(), row.staysOpen);
    if (row.staysOpen) {
        session.put(local.file("image.jpg"), "image.jpg");
        EXPECT_EQ(readBytes(server.home() / "image.jpg"), "abc");
        EXPECT_EQ(server.loginCount(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FTPSessionFailureTest,
    testing::Values(
        Failure{.name = "WrongPassword",
                .password = "wrong",
                .reason = "connect to 127\\.0\\.0\\.1:[0-9]+: 530 .*"},
        Failure{.name = "ClosedPort",
                .closedPort = true,
                .reason = "connect to 127\\.0\\.0\\.1:[0-9]+: .*onnect.*"},
        Failure{.name = "UnknownScheme",
                .host = "http://127.0.0.1",
                .reason = "connect to http://127\\.0\\.0\\.1: unknown scheme; use ftp://, "
                          "ftpes://, ftps:// or sftp://"},
        Failure{.name = "HostControlCharacter",
                .host = "127.0.0.1\r\nDELE keep.jpg",
                .reason = "connect: the host, user name or password holds a control character"},
        Failure{.name = "UserControlCharacter",
                .user = "web\x7f"
                        "cam",
                .reason = "connect: the host, user name or password holds a control character"},
        Failure{.name = "PasswordControlCharacter",
                .password = "x\r\nDELE keep.jpg",
                .reason = "connect: the host, user name or password holds a control character"},
        Failure{.name = "RemotePathControlCharacter",
                .remoteFile = "a.jpg\r\nDELE keep.jpg",
                .reason = "store a\\.jpg.*: the remote path holds a control character",
                .staysOpen = true},
        Failure{.name = "MissingLocalFile",
                .localFile = "none.jpg",
                .message = transferMessage,
                .reason = "store image\\.jpg: cannot read .*none\\.jpg: No such file or directory",
                .staysOpen = true},
        Failure{.name = "OtherUsersLink",
                .localFile = "swapped.jpg",
                .message = transferMessage,
                .reason = "store image\\.jpg: cannot read .*swapped\\.jpg: another user's link, "
                          "or not a regular file",
                .staysOpen = true},
        Failure{.name = "MissingRemoteDirectory",
                .remoteFile = "missing/image.jpg",
                .message = transferMessage,
                .reason = "store missing/image\\.jpg: 550 .*",
                .staysOpen = true}),
    [](const auto& info) { return std::string(info.param.name); });

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
    if (row.knownHosts != nullptr) {
        std::ofstream(server.clientHome() / ".ssh" / "known_hosts") << row.knownHosts(server);
    }
    FTPSession session;
    EXPECT_EQ(failureOf([&] { connect(session, server); }), connectMessage);
    const std::string port = std::to_string(server.port());
    EXPECT_THAT(session.failureReason(),
                MatchesRegex(std::regex_replace(row.reason, std::regex("PORT"), port)));
    EXPECT_EQ(server.loginCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FTPSessionUntrustedTest,
    testing::Values(
        Untrusted{"TlsUnknownAuthority",
                  options({}, FtpServer::Tls::Explicit, FtpServer::Certificate::Untrusted), nullptr,
                  "connect to 127\\.0\\.0\\.1:PORT: SSL certificate problem: .*"},
        Untrusted{"TlsHostNameMismatch",
                  options({}, FtpServer::Tls::Implicit, FtpServer::Certificate::OtherName), nullptr,
                  "connect to 127\\.0\\.0\\.1:PORT: .*127\\.0\\.0\\.1.*"},
        Untrusted{"SftpUnknownHostKey", sftp.options,
                  [](const FtpServer&) { return std::string("other.example ssh-ed25519 x\n"); },
                  "connect to 127\\.0\\.0\\.1:PORT: the server's host key is not in .*; .*"
                  "record it: ssh-keyscan -p PORT 127\\.0\\.0\\.1 >> .*/\\.ssh/known_hosts"},
        Untrusted{"SftpChangedHostKey", sftp.options,
                  [](const FtpServer& server) {
                      // The client's own public key stands in for another host key.
                      return "[127.0.0.1]:" + std::to_string(server.port()) + " " +
                             readBytes(server.clientHome() / ".ssh" / "id_ed25519.pub");
                  },
                  "connect to 127\\.0\\.0\\.1:PORT: the server's host key has CHANGED .*"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FTPSessionRenameTest, StoresStraightUnderTheNameWhereTheServerRefusesRenames) {
    FtpServer refusing({.refuseRenames = true});
    TempDir local;
    testing::internal::CaptureStderr();
    FTPSession session;
    connect(session, refusing);
    for (const std::string bytes : {"first", "second"}) {
        writeBytes(local.path() / "image.jpg", bytes);
        session.put(local.file("image.jpg"), "image.jpg");
        EXPECT_EQ(readBytes(refusing.home() / "image.jpg"), bytes);
        EXPECT_FALSE(
            std::filesystem::exists(refusing.home() / FTPSession::temporaryName("image.jpg")));
    }
    EXPECT_THAT(
        testing::internal::GetCapturedStderr(),
        MatchesRegex("kavriWebCam: upload: 127\\.0\\.0\\.1:" + std::to_string(refusing.port()) +
                     " refuses to rename files; [^\n]*\n"));
}

} // namespace
