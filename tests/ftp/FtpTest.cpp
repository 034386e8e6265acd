#include "ftp/FTPSession.h"
#include "ftp/FTPThread.h"
#include "ftp/UploadSession.h"

#include "base/Exception.h"
#include "tests/support/Deadline.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using Tls = FtpServer::Tls;
using Certificate = FtpServer::Certificate;
constexpr auto pyftpdlib = FtpServer::Program::Pyftpdlib;
constexpr auto sshd = FtpServer::Program::Sshd;
constexpr auto vsftpd = FtpServer::Program::Vsftpd;
constexpr auto s3 = FtpServer::Program::S3;
constexpr auto apache = FtpServer::Program::Apache;

namespace {

// Random bytes, line ends and NULs among them, which a text-mode transfer would damage.
std::string binaryBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), std::minstd_rand(seed));
    return bytes;
}

// Whether a file is being received in the directory: a name that starts with a dot, as the
// uploads' temporary names and those of the servers do.
bool receiving(const std::filesystem::path& directory) {
    return std::ranges::any_of(
        std::filesystem::directory_iterator(directory),
        [](const auto& entry) { return entry.path().filename().string().front() == '.'; });
}

// The login to server at host, trusting the TLS servers' authority and finding the SSH key
// and known hosts under HOME, as the program does for its user. Pictures are fresh for a
// minute.
FtpLogin loginTo(const FtpServer& server, const char* password = nullptr, bool passive = true,
                 const std::string& host = "127.0.0.1") {
    setenv("SSL_CERT_FILE", FtpServer::caFile().c_str(), 1);
    setenv("HOME", server.clientHome().c_str(), 1);
    const ServerAddress address = ServerAddress::parse(server.hostField(host), server.port());
    return {address, server.user(), password ? password : server.password(), passive, false, 60};
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
    // WebDAV makes the collections itself.
    if (options.program != apache) {
        std::filesystem::create_directories(server.home() / "cam pics" / "100%");
    }
    std::atomic<bool> stop{false};
    const auto login = loginTo(server, nullptr, GetParam().passive);
    const auto session = UploadSession::make(login.address.protocol(), &stop);
    testing::internal::CaptureStderr();
    session->connect(login);
    // Twenty stores, each file replacing a longer one (vsftpd refuses some data connections
    // that resume a TLS 1.3 session); a visitor fetching the public name meanwhile gets
    // nothing or one of them whole.
    constexpr unsigned rounds = 10;
    std::vector<std::string> pictures;
    for (unsigned i = 0; i < rounds; ++i) {
        pictures.push_back(binaryBytes(20 * 1024 * (rounds - i) + 7, i));
    }
    std::atomic<bool> uploading{true};
    std::atomic<int> halves{0};
    std::thread visitor([&] {
        while (uploading) {
            const std::string got = readBytes(server.home() / "image.jpg");
            halves += !got.empty() && std::ranges::find(pictures, got) == pictures.end();
        }
    });
    for (unsigned i = 0; i < rounds; ++i) {
        for (const std::string remote : {odd.c_str(), "image.jpg"}) {
            writeBytes(local.path() / "image.jpg", pictures[i]);
            session->put(local.file("image.jpg"), remote);
            EXPECT_TRUE(readBytes(server.home() / remote) == pictures[i]) << remote << " " << i;
        }
    }
    uploading = false;
    visitor.join();
    // Where the server renames nothing, a visitor may get half a picture, and is told so.
    EXPECT_TRUE(halves == 0 || options.refuseRenames);
    EXPECT_THAT(server.events("DATA "),
                testing::Each(GetParam().passive ? "DATA EPSV" : "DATA EPRT"));
    // A server that renames nothing gets each file straight under its name, and that is said.
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find(" refuses to rename files; ") != std::string::npos, options.refuseRenames);
    if (options.refuseRenames) {
        return;
    }
    // Over one kept connection (going over to TLS 1.2 takes one more login, and is said);
    // objects say what they are and how long they stay fresh.
    const bool tls12 =
        said.find(" over TLS 1.3, as a server does that requires ") != std::string::npos;
    EXPECT_EQ(server.loginCount(), tls12 ? 2 : 1) << said;
    EXPECT_LE(server.connectionCount(), tls12 ? 2 : 1);
    EXPECT_EQ(server.events("TYPE ").size(), options.program == s3 ? 2 * rounds : 0U);
    EXPECT_THAT(server.events("TYPE "), testing::Each("TYPE image/jpeg max-age=60 private"));

    // An upload stopped half-way leaves the last image whole under its name.
    writeBytes(local.path() / "big.jpg", binaryBytes(16 << 20, 1));
    std::thread stopper([&] {
        waitUntil([&] { return receiving(server.home()); });
        stop = true;
    });
    EXPECT_THROW(session->put(local.file("big.jpg"), "image.jpg"), FTPException);
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
    Protocol{"SftpPassword", {.program = FtpServer::Program::Paramiko}},
    Protocol{"S3", {.program = s3}}, Protocol{"WebDav", {.program = apache}},
    Protocol{"WebDavTls", {.program = apache, .tls = Tls::Implicit}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct Failure {
    const char* name;
    FtpServer::Options options = {};
    // The reason the session gives, as a regular expression.
    const char* reason;
    const char* password = nullptr;
    const char* remoteFile = "image.jpg";
    // Whether the session takes the next file after this failure.
    bool staysOpen = false;
    // Whether the file was refused rather than the connection.
    bool fileRefused = false;
    const char* host = "127.0.0.1";
};

class FTPSessionFailureTest : public testing::TestWithParam<Failure> {};

TEST_P(FTPSessionFailureTest, ThrowsTheMessageAndSaysWhyAndNeverHarmsTheServersFiles) {
    const Failure& row = GetParam();
    FtpServer server(row.options);
    TempDir local;
    writeBytes(server.home() / "keep.jpg", "keep");
    writeBytes(local.path() / "image.jpg", "abc");
    std::filesystem::create_directory(server.home() / "up");
    const auto session =
        UploadSession::make(ServerAddress::parse(server.hostField(), 0).protocol());
    std::string message = "no exception";
    testing::internal::CaptureStderr();
    try {
        session->connect(loginTo(server, row.password, true, row.host));
        session->put(local.file("image.jpg"), row.remoteFile);
    } catch (const FTPException& error) {
        message = error.message;
    }
    EXPECT_EQ(message, row.fileRefused
                           ? "::FTP::\nCannot transfer the file, please check the "
                             "following:\n * the source file exists.\n * the "
                             "destination path exists,\n * the ftp server is responding."
                           : "::FTP::\nCannot connect to the ftp server,\nplease "
                             "check the ftp settings.");
    EXPECT_THAT(session->failureReason(), testing::MatchesRegex(row.reason));
    EXPECT_THAT(session->failureReason(), testing::Not(testing::HasSubstr("s3cret")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(readBytes(server.home() / "keep.jpg"), "keep");
    EXPECT_EQ(session->isOpen(), row.staysOpen);
    // A host field holding a password is refused before any connection.
    EXPECT_TRUE(row.host == std::string("127.0.0.1") || server.connectionCount() == 0);
    // Nothing half-sent is left behind, and an open session takes the next file.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(server.home())) {
        EXPECT_THAT(entry.path().filename().string(), testing::Not(testing::EndsWith(".part")));
    }
    if (row.staysOpen) {
        session->put(local.file("image.jpg"), "image.jpg");
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
    Failure{.name = "PasswordInTheHost", .reason = "connect: the host field holds a user name .*",
            .host = "webcam:s3cret@127.0.0.1"},
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
    Failure{"S3WrongSecret", {.program = s3}, "connect to 127.0.0.1:[0-9]+: 403 SignatureDoesNotMatch: .*",
            "wrong"},
    Failure{"S3WrongRegion", {.program = s3, .region = "eu-west-1"},
            "connect to [^ ]+: 400 AuthorizationHeaderMalformed: .*'us-east-1' is wrong; expecting 'eu-west-1'"},
    Failure{"S3ClockBehind", {.program = s3, .clockSkewS = 3600},
            "connect to [^ ]+: 403 RequestTimeTooSkewed: .* \\(this computer's clock is 3[56][0-9][0-9] s behind the server's\\)"},
    Failure{"S3UnknownAuthority", {.program = s3, .certificate = Certificate::Untrusted},
            "connect to 127.0.0.1:[0-9]+: SSL certificate problem: .*"},
    Failure{"WebDavWrongPassword", {.program = apache, .tls = Tls::Implicit},
            "connect to 127.0.0.1:[0-9]+: 401 Unauthorized", "wrong"},
    Failure{"WebDavHostNameMismatch", {.program = apache, .tls = Tls::Implicit, .certificate = Certificate::OtherName},
            "connect to 127.0.0.1:[0-9]+: .*127.0.0.1.*"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// What ssh (`ssh -o BatchMode=yes`) and so the session make of the server's host key.
enum class Trust { Trusted, Unknown, Changed, Revoked, Other };

struct HostKeys {
    const char* name;
    // The known_hosts file: {name} stands for "[127.0.0.1]:<port>", {port} for the port,
    // {key} for the server's key, {other} for another ed25519 key, {ecdsa} for an ECDSA key.
    std::string knownHosts;
    Trust trust;
    // Whether its names are hashed, as with HashKnownHosts.
    bool hashed = false;
};

// An ECDSA key that no server of the tests has.
const char* const ecdsaKey =
    "ecdsa-sha2-nistp256 AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTYAAABBBG"
    "IR2YX1DUc9lIlnUiTuwOnAvdGlW5oh4EeC5GVkGw/tL2iEtRg5kZz/7u9HmgMJ+F5dk96K"
    "90ZqD3zzMfAJy/c=";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The first two fields of a line: a key's type and its base64.
std::string keyOf(const std::string& line) {
    return line.substr(0, line.find(' ', line.find(' ') + 1));
}

// What `ssh -o BatchMode=yes` decides for the server with the given known_hosts file.
Trust sshTrust(const FtpServer& server, const std::filesystem::path& knownHosts) {
    const std::string command =
        "ssh -F /dev/null -o BatchMode=yes -o UpdateHostKeys=no -o IdentityAgent=none -o "
        "GlobalKnownHostsFile=/dev/null -o UserKnownHostsFile=" +
        knownHosts.string() + " -i " + (server.clientHome() / ".ssh" / "id_ed25519").string() +
        " -p " + std::to_string(server.port()) + " " + server.user() + "@127.0.0.1 true";
    const auto said = server.clientHome() / "ssh.txt";
    const bool trusted = std::system((command + " > " + said.string() + " 2>&1").c_str()) == 0;
    const std::string output = readBytes(said);
    const Trust trust =
        trusted                                                            ? Trust::Trusted
        : output.find("REVOKED HOST KEY") != std::string::npos             ? Trust::Revoked
        : output.find("IDENTIFICATION HAS CHANGED") != std::string::npos   ? Trust::Changed
        : output.find("Host key verification failed") != std::string::npos ? Trust::Unknown
                                                                           : Trust::Other;
    EXPECT_NE(trust, Trust::Other) << output;
    return trust;
}

class FTPSessionHostKeyTest : public testing::TestWithParam<HostKeys> {};

// The session trusts a server's key exactly where ssh does (each row says where that is),
// and says why it does not.
TEST_P(FTPSessionHostKeyTest, TrustsTheServersKeyWhereSshDoesAndNowhereElse) {
    const HostKeys& row = GetParam();
    FtpServer server({.program = sshd});
    const auto file = server.clientHome() / ".ssh" / "known_hosts";
    const std::string port = std::to_string(server.port());
    std::string text = replaced(row.knownHosts, "{name}", "[127.0.0.1]:" + port);
    text = replaced(text, "{port}", port);
    const std::string recorded = readBytes(file);
    text = replaced(text, "{key}", keyOf(recorded.substr(recorded.find(' ') + 1)));
    text = replaced(text, "{other}", keyOf(readBytes(server.clientHome() / ".ssh/id_ed25519.pub")));
    text = replaced(text, "{ecdsa}", ecdsaKey);
    writeBytes(file, text);
    if (row.hashed) {
        ASSERT_EQ(std::system(("ssh-keygen -q -H -f " + file.string() + " >/dev/null").c_str()), 0);
    }
    // The rows say what ssh decides, and ssh itself agrees.
    EXPECT_EQ(sshTrust(server, file), row.trust);

    const char* const reasons[] = {
        "",
        "connect to .*: the server's host key is not in .*ssh-keyscan -p [0-9]+ 127.0.0.1 >> .*",
        "connect to .*: the server's host key has CHANGED .*ssh-keygen -R .*",
        "connect to .*: the server's host key is REVOKED: [^>]*"};
    FTPSession session;
    try {
        session.connect(loginTo(server));
        EXPECT_EQ(row.trust, Trust::Trusted);
    } catch (const FTPException& error) {
        EXPECT_THAT(error.message, testing::HasSubstr("Cannot connect to the ftp server"));
        EXPECT_THAT(session.failureReason(),
                    testing::MatchesRegex(reasons[static_cast<int>(row.trust)]));
        EXPECT_EQ(server.loginCount(), 0);
    }
    EXPECT_EQ(session.isOpen(), row.trust == Trust::Trusted);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(KnownHosts, FTPSessionHostKeyTest, testing::Values(
    HostKeys{"Unrecorded", "", Trust::Unknown},
    // The client's own public key stands in for another host key.
    HostKeys{"Changed", "{name} {other}\n", Trust::Changed},
    HostKeys{"RevokedAfterTheKey", "{name} {key}\n@revoked {name} {key}\n", Trust::Revoked},
    HostKeys{"RevokedBeforeTheKey", "@revoked * {key}\n{name} {key}\n", Trust::Revoked},
    HostKeys{"RevokedAlone", "@revoked {name} {key}\n", Trust::Revoked},
    HostKeys{"CertAuthorityOnly", "@cert-authority {name} {key}\n", Trust::Unknown},
    HostKeys{"OtherKeyType", "{name} {ecdsa}\n", Trust::Changed},
    HostKeys{"HashedBesideOtherKeyType", "{name} {ecdsa}\n{name} {key}\n", Trust::Trusted, true},
    HostKeys{"PlainNameOtherPort", "127.0.0.1 {key}\n", Trust::Trusted},
    HostKeys{"PlainNameOtherPortOtherKey", "127.0.0.1 {other}\n", Trust::Unknown},
    HostKeys{"Pattern", "[127.0.0.?]:{port} {key}\n", Trust::Trusted},
    HostKeys{"NegatedPattern", "[127.0.0.?]:*,![127.0.0.1]:{port} {key}\n", Trust::Unknown}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Destroying a thread returns without waiting for what its worker waits for (a server that
// never answers, an upload that takes 20 s), and the worker ends without finishing it, within
// limit.
void expectEndsAtOnce(std::unique_ptr<FTPThread> thread, std::chrono::milliseconds limit = 10s) {
    const auto control = thread->control();
    const auto begin = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s) << "destroying waited for the worker";
    EXPECT_TRUE(control->waitEnded(limit)) << "the worker did not end within the limit";
}

class FTPThreadTest : public testing::Test {
protected:
    std::unique_ptr<FTPThread> makeThread(FtpServer& on, bool stopOnError,
                                          const char* password = nullptr,
                                          FTPThread::RetryPause pause = {100ms, 400ms}) {
        FtpLogin login = loginTo(on, password);
        login.stopOnError = stopOnError;
        auto thread = std::make_unique<FTPThread>(
            login, std::make_shared<HealthLine>(FTPThread::healthWords), pause);
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
                   (!arrive || readBytes(target->home() / remote) == bytes);
        });
    }

    FtpServer server{{.uploadBytesPerS = 200 * 1024}};
    // The server post() looks at.
    FtpServer* target = &server;
    TempDir local;
};

// The same worker over each kind of server.
class FTPThreadServerTest : public FTPThreadTest,
                            public testing::WithParamInterface<FtpServer::Program> {
protected:
    // WebDAV goes over TLS here; S3 always does.
    static Tls webDavTls() { return GetParam() == apache ? Tls::Implicit : Tls::None; }
};

std::string programName(const testing::TestParamInfo<FtpServer::Program>& info) {
    const char* const names[] = {"Pyftpdlib", "Vsftpd", "Sshd", "Paramiko", "", "S3", "WebDav"};
    return names[static_cast<int>(info.param)];
}

TEST_F(FTPThreadTest, SkipsAFilePostedWhileUploadingAndStopsAtOnceMidUpload) {
    auto thread = makeThread(server, false);
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    ASSERT_TRUE(post(*thread, binaryBytes(600 * 1024, 1), "first.jpg", false));
    ASSERT_TRUE(waitUntil([&] { return server.events("DATA").size() == 1; }))
        << "waited for the upload of first.jpg to begin";
    EXPECT_TRUE(thread->post(local.file("image.jpg"), "second.jpg"));
    ASSERT_TRUE(waitUntil([&] { return server.storedCount() == 1 && thread->suspended(); }))
        << "waited for first.jpg to be stored and the worker to park";
    EXPECT_FALSE(std::filesystem::exists(server.home() / "second.jpg"));

    ASSERT_TRUE(post(*thread, binaryBytes(4 << 20, 2), "big.jpg", false));
    ASSERT_TRUE(waitUntil([&] {
        return std::filesystem::exists(server.home() / FTPSession::temporaryName("big.jpg"));
    })) << "waited for the upload of big.jpg to begin";
    expectEndsAtOnce(std::move(thread));
    EXPECT_FALSE(std::filesystem::exists(server.home() / "big.jpg"));
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

// Over the servers whose connections a restart ends for certain (vsftpd's idle time-out has
// a row of its own below).
class FTPThreadReconnectTest : public FTPThreadServerTest {};

TEST_P(FTPThreadReconnectTest, StoresAgainOnceOverAFreshLoginWhereTheServerClosedTheConnection) {
    FtpServer server({.program = GetParam(), .tls = webDavTls()});
    target = &server;
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
    // Over HTTP the transfer library sends a request that meets a connection the server has
    // closed again over a new one by itself, which may or may not count as a login.
    const bool http = GetParam() == s3 || GetParam() == apache;
    waitUntil([&] { return server.loginCount() >= 3; }, http ? 2s : 20s);
    EXPECT_LE(server.loginCount(), 3);
    EXPECT_GE(server.loginCount(), http ? 2 : 3);
    // The file arrives a moment before the worker hears that the store is complete.
    ASSERT_TRUE(waitUntil([&] { return thread->suspended(); }));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::MatchesRegex("kavriWebCam: upload failing: connect to [^\n]*\n"
                                      "kavriWebCam: upload working again after [^\n]*\n"));
    expectEndsAtOnce(std::move(thread));
}

// A wrong password, or a wrong secret for S3, is tried again, never in a storm.
class FTPThreadRefusedTest : public FTPThreadServerTest {};

TEST_P(FTPThreadRefusedTest,
       RetriesARefusedLoginWithAPauseDoublingUpToTheLongestAndStopsAtOnceInIt) {
    FtpServer server({.program = GetParam()});
    auto thread = makeThread(server, false, "wrong", {200ms, 1600ms});
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

INSTANTIATE_TEST_SUITE_P(Servers, FTPThreadRefusedTest, testing::Values(pyftpdlib, s3),
                         programName);

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
    // Well before the end of the program would stop waiting for it.
    expectEndsAtOnce(std::move(thread), 500ms);
}

// Grabs further apart than a real server's idle time-out: each file goes at once over a fresh
// login, and with "Stop on all FTP errors." set nothing counts as a failure.
TEST_P(FTPThreadServerTest, GrabsFurtherApartThanTheServersIdleTimeoutAreAllStored) {
    FtpServer idle({.idleTimeoutS = 1, .program = GetParam(), .tls = webDavTls()});
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

INSTANTIATE_TEST_SUITE_P(Servers, FTPThreadReconnectTest, testing::Values(pyftpdlib, s3, apache),
                         programName);

INSTANTIATE_TEST_SUITE_P(Servers, FTPThreadServerTest,
                         testing::Values(pyftpdlib, vsftpd, s3, apache), programName);

// The archive on the server: every picture handed over is stored, its folders made; while
// the server is down they wait, and once it is back the newest picture goes first and the
// missed ones follow, oldest first. S3 needs no folders; WebDAV makes them with MKCOL.
class FTPThreadArchiveTest : public FTPThreadServerTest {};

TEST_P(FTPThreadArchiveTest, StoresEveryPictureAndAfterAnOutageTheNewestFirst) {
    FtpServer archiving({.program = GetParam(), .tls = webDavTls()});
    auto thread = makeThread(archiving, false, nullptr, {100ms, 200ms});
    testing::internal::CaptureStderr();
    const auto remote = [](int grab) { return "a/2026-12-07/" + std::to_string(grab) + ".jpg"; };
    int logins = 0;
    for (int grab = 0; grab < 6; ++grab) {
        if (grab == 3) {
            logins = archiving.loginCount();
            archiving.stop();
        }
        if (grab == 5) {
            archiving.restart();
        }
        const bool down = grab == 3 || grab == 4;
        const std::string kept = local.file("kept" + std::to_string(grab) + ".jpg");
        writeBytes(kept, binaryBytes(3000 + grab, grab));
        thread->postArchive(kept, remote(grab));
        // Parked on a live connection, it takes the next post at once.
        ASSERT_TRUE(waitUntil(
            [&] { return down || (thread->suspended() && archiving.loginCount() > logins); }));
        writeBytes(local.path() / "image.jpg", binaryBytes(5000 + grab, grab));
        ASSERT_TRUE(thread->post(local.file("image.jpg"), "cam.jpg"));
        ASSERT_TRUE(waitUntil([&] {
            return down ||
                   readBytes(archiving.home() / "cam.jpg") == binaryBytes(5000 + grab, grab);
        }));
    }
    for (int grab = 0; grab < 6; ++grab) {
        EXPECT_TRUE(waitUntil([&] {
            return readBytes(archiving.home() / remote(grab)) == binaryBytes(3000 + grab, grab);
        })) << grab;
    }
    // pyftpdlib logs the stores in order: the newest picture went before the missed ones, but
    // for the one the worker may have begun when it came back before the newest was posted.
    const auto stored = archiving.events("STORED");
    const auto naming = [](const char* part) {
        return [part](const std::string& line) { return line.find(part) != std::string::npos; };
    };
    const auto newest = std::find_if(stored.rbegin(), stored.rend(), naming("cam.jpg")).base();
    EXPECT_LE(std::count_if(stored.begin(), newest, naming("/3.jpg")) +
                  std::count_if(stored.begin(), newest, naming("/4.jpg")),
              1);
    testing::internal::GetCapturedStderr();
    expectEndsAtOnce(std::move(thread));
}

INSTANTIATE_TEST_SUITE_P(Servers, FTPThreadArchiveTest,
                         testing::Values(pyftpdlib, sshd, s3, apache), programName);

} // namespace
