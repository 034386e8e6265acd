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
#include <regex>
#include <thread>
#include <unistd.h>

using Program = FtpServer::Program;
using Tls = FtpServer::Tls;

namespace {

// Trusts the TLS servers' authority and finds the SSH key and known hosts under HOME, as
// the program does for its user. Only the low 16 bits of the port setting count.
void connect(FTPSession& session, const FtpServer& server, const char* password = nullptr,
             bool passive = true) {
    setenv("SSL_CERT_FILE", FtpServer::caFile().c_str(), 1);
    setenv("HOME", server.clientHome().c_str(), 1);
    unsetenv("SSH_AUTH_SOCK");
    session.connect(server.scheme() + "127.0.0.1", server.user(),
                    password != nullptr ? password : server.password(), server.port() + 0x30000u,
                    passive);
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

class FTPSessionLoginTest : public testing::TestWithParam<Protocol> {};

TEST_P(FTPSessionLoginTest, StoresEachFileWholeUnderItsNameAndNeverHalfOfOne) {
    FtpServer server(GetParam().options);
    TempDir local;
    // Names pass through URLs, and over SFTP through quoted commands too.
    const std::string odd = "cam pics/100%/\"cheese\" \\ 'now' #1?%41%2F+a=b&c \xc3\xa5.jpg;type=a";
    std::filesystem::create_directories(server.home() / "cam pics" / "100%");
    std::atomic<bool> stop{false};
    FTPSession session(&stop);
    connect(session, server, nullptr, GetParam().passive);
    for (unsigned i = 0; i < 3; ++i) {
        for (const std::string remote : {odd.c_str(), "image.jpg"}) {
            // Each file replaces a longer one.
            writeBytes(local.path() / "image.jpg", binaryBytes(100 * 1024 * (2 - i) + 7, i));
            session.put(local.file("image.jpg"), remote);
            EXPECT_TRUE(readBytes(server.home() / remote) == readBytes(local.path() / "image.jpg"))
                << remote << " " << i;
            EXPECT_FALSE(
                std::filesystem::exists(server.home() / FTPSession::temporaryName(remote)));
        }
    }
    EXPECT_EQ(server.loginCount(), 1);
    EXPECT_THAT(server.events("DATA "),
                testing::Each(GetParam().passive ? "DATA EPSV" : "DATA EPRT"));

    // An upload stopped half-way leaves the last image whole under its name.
    const auto temporary = server.home() / FTPSession::temporaryName("image.jpg");
    writeBytes(local.path() / "big.jpg", binaryBytes(16 << 20, 1));
    std::thread stopper([&] {
        waitUntil([&] {
            std::error_code error;
            return std::filesystem::file_size(temporary, error) > 0;
        });
        stop = true;
    });
    EXPECT_NE(failureOf([&] { session.put(local.file("big.jpg"), "image.jpg"); }), "no exception");
    stopper.join();
    EXPECT_TRUE(readBytes(server.home() / "image.jpg") == readBytes(local.path() / "image.jpg"));
}

INSTANTIATE_TEST_SUITE_P(Logins, FTPSessionLoginTest,
                         testing::Values(Protocol{"Ftp", {}}, Protocol{"FtpActive", {}, false},
                                         Protocol{"FtpesTls", {.tls = Tls::Explicit}},
                                         Protocol{"FtpsTls", {.tls = Tls::Implicit}},
                                         Protocol{"Sftp", {.program = Program::Sshd}},
                                         Protocol{"SftpPassword", {.program = Program::Paramiko}}),
                         [](const auto& info) { return std::string(info.param.name); });

const std::string connectMessage =
    "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";
const std::string transferMessage =
    "::FTP::\nCannot transfer the file, please check the following:\n * the source file exists.\n"
    " * the destination path exists,\n * the ftp server is responding.";

struct Failure {
    const char* name;
    FtpServer::Options options = {};
    const char* password = nullptr;
    const char* localFile = "image.jpg";
    const char* remoteFile = "image.jpg";
    // What the known_hosts file says of the SSH server.
    std::string (*knownHosts)(const FtpServer& server) = nullptr;
    const std::string& message = connectMessage;
    // The reason the session gives, as a regular expression; PORT is the server's port.
    const char* reason = "";
    // Whether the session takes the next file after this failure.
    bool staysOpen = false;
};

class FTPSessionFailureTest : public testing::TestWithParam<Failure> {};

TEST_P(FTPSessionFailureTest, ThrowsTheMessageAndSaysWhyAndNeverHarmsTheServersFiles) {
    const Failure& row = GetParam();
    FtpServer server(row.options);
    TempDir local;
    writeBytes(server.home() / "keep.jpg", "keep");
    writeBytes(local.path() / "image.jpg", "abc");
    // Another user has swapped in a link to a private file of the user's.
    writeBytes(local.path() / "private.txt", "secret");
    std::filesystem::create_symlink(local.path() / "private.txt", local.path() / "swapped.jpg");
    ASSERT_EQ(lchown(local.file("swapped.jpg").c_str(), 54321, 54321), 0);
    if (row.knownHosts != nullptr) {
        std::ofstream(server.clientHome() / ".ssh" / "known_hosts") << row.knownHosts(server);
    }
    FTPSession session;
    EXPECT_EQ(failureOf([&] {
                  connect(session, server, row.password);
                  session.put(local.file(row.localFile), row.remoteFile);
              }),
              row.message);
    EXPECT_THAT(session.failureReason(),
                testing::MatchesRegex(std::regex_replace(row.reason, std::regex("PORT"),
                                                         std::to_string(server.port()))));
    EXPECT_THAT(session.failureReason(), testing::Not(testing::HasSubstr("s3cret")));
    EXPECT_EQ(readBytes(server.home() / "keep.jpg"), "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(server.home()), {}), 1);
    EXPECT_EQ(server.loginCount(), row.staysOpen ? 1 : 0);
    ASSERT_EQ(session.isOpen(), row.staysOpen);
    if (row.staysOpen) {
        session.put(local.file("image.jpg"), "image.jpg");
        EXPECT_EQ(readBytes(server.home() / "image.jpg"), "abc");
        EXPECT_EQ(server.loginCount(), 1);
    }
}

const char* const controlCharacter =
    "connect: the host, user name or password holds a control character";

INSTANTIATE_TEST_SUITE_P(
    Failures, FTPSessionFailureTest,
    testing::Values(
        Failure{.name = "WrongPassword",
                .password = "wrong",
                .reason = "connect to 127\\.0\\.0\\.1:PORT: 530 .*"},
        Failure{.name = "PasswordControlCharacter",
                .password = "x\r\nDELE keep.jpg",
                .reason = controlCharacter},
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
                .staysOpen = true},
        // A server that must not be trusted is refused before the password reaches it.
        Failure{.name = "TlsUnknownAuthority",
                .options = {.tls = Tls::Explicit, .certificate = FtpServer::Certificate::Untrusted},
                .reason = "connect to 127\\.0\\.0\\.1:PORT: SSL certificate problem: .*"},
        Failure{.name = "TlsHostNameMismatch",
                .options = {.tls = Tls::Implicit, .certificate = FtpServer::Certificate::OtherName},
                .reason = "connect to 127\\.0\\.0\\.1:PORT: .*127\\.0\\.0\\.1.*"},
        Failure{
            .name = "SftpUnknownHostKey",
            .options = {.program = Program::Sshd},
            .knownHosts =
                [](const FtpServer&) { return std::string("other.example ssh-ed25519 x\n"); },
            .reason = "connect to 127\\.0\\.0\\.1:PORT: the server's host key is not in .*; .*"
                      "record it: ssh-keyscan -p PORT 127\\.0\\.0\\.1 >> .*/\\.ssh/known_hosts"},
        Failure{.name = "SftpChangedHostKey",
                .options = {.program = Program::Sshd},
                // The client's own public key stands in for another host key.
                .knownHosts =
                    [](const FtpServer& server) {
                        return "[127.0.0.1]:" + std::to_string(server.port()) + " " +
                               readBytes(server.clientHome() / ".ssh" / "id_ed25519.pub");
                    },
                .reason = "connect to 127\\.0\\.0\\.1:PORT: the server's host key has CHANGED .*"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FTPSessionRenameTest, StoresStraightUnderTheNameWhereTheServerRefusesRenamesAndSaysSo) {
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
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::MatchesRegex(
                    "kavriWebCam: upload: 127\\.0\\.0\\.1:" + std::to_string(refusing.port()) +
                    " refuses to rename files; [^\n]*\n"));
}

} // namespace
