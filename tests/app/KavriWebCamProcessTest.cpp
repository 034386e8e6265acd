#include "tests/support/Deadline.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <sys/mount.h>
#include <thread>
#include <vector>

namespace {

std::string readFile(const std::filesystem::path& name) {
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Leaves the program to find out that there is no display it can use: none named, or one
// named that cannot be opened. As under a service manager, there is no XDG_RUNTIME_DIR.
void withoutUsableDisplay(const char* display) {
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_RUNTIME_DIR");
    if (display != nullptr) {
        setenv("DISPLAY", display, 1);
    } else {
        unsetenv("DISPLAY");
    }
}

// The program itself with the test source, started without a usable display in its own
// working directory; its standard error goes to "stderr.txt" there.
class KavriWebCamProcess {
public:
    KavriWebCamProcess(const std::filesystem::path& dir, std::vector<const char*> arguments,
                       const char* display = nullptr) {
        arguments.insert(arguments.begin(), {KAVRIWEBCAM_PATH, "/testsource"});
        arguments.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            const int errorFile = creat((dir / "stderr.txt").c_str(), 0600);
            if (chdir(dir.c_str()) != 0 || errorFile < 0 || dup2(errorFile, STDERR_FILENO) < 0) {
                _exit(126);
            }
            withoutUsableDisplay(display);
            execv(KAVRIWEBCAM_PATH, const_cast<char* const*>(arguments.data()));
            _exit(127);
        }
    }
    ~KavriWebCamProcess() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    KavriWebCamProcess(const KavriWebCamProcess&) = delete;
    KavriWebCamProcess& operator=(const KavriWebCamProcess&) = delete;

    // Sends signal, then SIGINT again and again, as an impatient user at a terminal would,
    // until the program has ended; returns its wait status, or -1 when it is still running
    // after the time limit.
    int end(int signal) {
        kill(pid, signal);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int status = -1;
        while (waitpid(pid, &status, WNOHANG) != pid) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return -1;
            }
            kill(pid, SIGINT);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        pid = -1;
        return status;
    }

    pid_t pid = -1;
};

class EndingSignal : public testing::TestWithParam<int> {};

TEST_P(EndingSignal, GrabsHeadlessAndEndsLikeExitWithTheSettingsSaved) {
    TempDir dir;
    std::ofstream(dir.path() / "kavriWebCam.ini", std::ios::binary)
        << "<kavriwebcam>\r\n  <image\r\n    update = '1'\r\n  >\r\n"
           "  </image>\r\n  <network\r\n    active = '0'\r\n  >\r\n  </network>\r\n"
           "</kavriwebcam>\r\n";
    // Qt's own options are only text on the program's command line.
    KavriWebCamProcess program(dir.path(), {"/run", "-platform", "nonexistent"});
    ASSERT_GT(program.pid, 0);

    EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(dir.path() / "image.jpg"); }));
    const std::string jpeg = readFile(dir.path() / "image.jpg");
    ASSERT_GE(jpeg.size(), 2u);
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");

    const int status = program.end(GetParam());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string settings = readFile(dir.path() / "kavriWebCam.ini");
    EXPECT_NE(settings.find("devicename = 'Test Source'"), std::string::npos) << settings;
    EXPECT_NE(settings.find("update = '1'"), std::string::npos) << settings;
    EXPECT_NE(settings.find("savesettingsonexit = '1'"), std::string::npos) << settings;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "_temp.dib"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "_ERROR.TXT"));
    // The program's own line and nothing of Qt's.
    EXPECT_EQ(readFile(dir.path() / "stderr.txt"),
              "kavriWebCam: no display found, running without one\n");
}

INSTANTIATE_TEST_SUITE_P(, EndingSignal, testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST(KavriWebCamProcessTest, AFifoNamedLikeTheSettingsFileIsNeitherReadNorWritten) {
    TempDir dir;
    const auto settingsFile = dir.path() / "kavriWebCam.ini";
    ASSERT_EQ(mkfifo(settingsFile.c_str(), 0600), 0);
    KavriWebCamProcess program(dir.path(), {});
    ASSERT_GT(program.pid, 0);

    // The line comes once the signals are watched; start-up goes on without waiting for a
    // writer, and the settings saved at the end are not written into the FIFO.
    EXPECT_TRUE(waitUntil([&] { return !readFile(dir.path() / "stderr.txt").empty(); }));
    const int status = program.end(SIGTERM);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(std::filesystem::is_fifo(settingsFile));
}

TEST(KavriWebCamProcessTest, ADisplayThatCannotBeOpenedMeansRunningWithoutOne) {
    TempDir dir;
    std::ofstream(dir.path() / "kavriWebCam.ini", std::ios::binary)
        << "<image update='1'/><network active='0'/>\r\n";
    KavriWebCamProcess program(dir.path(), {"/run"}, ":4242");
    ASSERT_GT(program.pid, 0);

    EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(dir.path() / "image.jpg"); }));
    const int status = program.end(SIGTERM);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(KavriWebCamProcessTest, WithoutACameraOrTheTestSourceItEndsWithTheNoDeviceBox) {
    if (std::filesystem::exists("/dev/video0")) {
        GTEST_SKIP() << "this machine has a camera";
    }
    TempDir dir;
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        if (chdir(dir.path().c_str()) != 0) {
            _exit(126);
        }
        withoutUsableDisplay(nullptr);
        execl(KAVRIWEBCAM_PATH, KAVRIWEBCAM_PATH, "/run", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    std::string errorOutput;
    char buffer[256];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        errorOutput.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(errorOutput.find("kavriWebCam: no display found, running without one\n"),
              std::string::npos)
        << errorOutput;
    EXPECT_NE(errorOutput.find("kavri WebCam Error: Capture:: There is no capture-device "
                               "available.\nProgram Terminating."),
              std::string::npos)
        << errorOutput;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "_ERROR.TXT"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "kavriWebCam.ini"));
}

// A JPEG directory that cannot take the file for a while. prepare makes it so (or answers
// why it cannot be done here), makeRoom ends it; reason is what the program says of it.
struct JpegTroubleRow {
    const char* name;
    const char* reason;
    std::function<std::string(const std::filesystem::path& jpegDir)> prepare;
    std::function<void(const std::filesystem::path& jpegDir)> makeRoom;
};

void PrintTo(const JpegTroubleRow& row, std::ostream* out) {
    *out << row.name;
}

class JpegFileHealthTest : public testing::TestWithParam<JpegTroubleRow> {
protected:
    ~JpegFileHealthTest() override { umount2((dir.path() / "jpeg").c_str(), MNT_DETACH); }
    TempDir dir;
};

TEST_P(JpegFileHealthTest, AHeadlessRunSaysOnceThatTheJpegFileCannotBeWrittenAndWhenItIsAgain) {
    const JpegTroubleRow& row = GetParam();
    const std::filesystem::path jpegDir = dir.path() / "jpeg";
    if (const std::string cannot = row.prepare(jpegDir); !cannot.empty()) {
        GTEST_SKIP() << cannot;
    }
    std::ofstream(dir.path() / "kavriWebCam.ini", std::ios::binary)
        << "<image update='1' jpegfile='jpeg/image.jpg'/><network active='0'/>\r\n";
    KavriWebCamProcess program(dir.path(), {"/run"});
    ASSERT_GT(program.pid, 0);
    const auto told = [&] { return readFile(dir.path() / "stderr.txt"); };
    ASSERT_TRUE(waitUntil([&] { return told().find("cannot be written") != std::string::npos; }));
    // More grabs (the frame file is written at the start of each) fail without a word.
    const auto frameFile = dir.path() / "_temp.dib";
    for (int grab = 0; grab < 2; ++grab) {
        std::error_code ignored;
        const auto written = std::filesystem::last_write_time(frameFile, ignored);
        ASSERT_TRUE(waitUntil(
            [&] { return std::filesystem::last_write_time(frameFile, ignored) != written; }));
    }

    row.makeRoom(jpegDir);
    ASSERT_TRUE(waitUntil([&] { return told().find("written again") != std::string::npos; }));
    EXPECT_TRUE(std::filesystem::exists(jpegDir / "image.jpg"));
    const int status = program.end(SIGTERM);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::smatch lines;
    const std::string all = told();
    ASSERT_TRUE(std::regex_match(
        all, lines,
        std::regex(
            std::string("kavriWebCam: no display found, running without one\n"
                        "kavriWebCam: JPEG file cannot be written: jpeg/image[.]jpg: ") +
            row.reason +
            "\nkavriWebCam: JPEG file written again after ([0-9]+) failures in [0-9a-z ]+\n")))
        << all;
    // The first failure and at least the grab after it; the one under way when room was made
    // may already succeed.
    EXPECT_GE(std::stoi(lines[1]), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Headless, JpegFileHealthTest,
    testing::Values(JpegTroubleRow{
                        "FullFileSystem", "No space left on device",
                        [](const std::filesystem::path& jpegDir) -> std::string {
                            std::filesystem::create_directory(jpegDir);
                            if (mount("tmpfs", jpegDir.c_str(), "tmpfs", 0, "size=64k") != 0) {
                                return std::string("cannot mount a small tmpfs here (") +
                                       std::strerror(errno) + "); root can";
                            }
                            const std::vector<char> block(4096);
                            std::ofstream filler(jpegDir / "filler", std::ios::binary);
                            while (filler.write(block.data(), std::streamsize(block.size())) &&
                                   filler.flush()) {
                            }
                            return "";
                        },
                        [](const std::filesystem::path& jpegDir) {
                            std::filesystem::remove(jpegDir / "filler");
                        }},
                    JpegTroubleRow{"MissingDirectory", "No such file or directory",
                                   [](const std::filesystem::path&) { return std::string(); },
                                   [](const std::filesystem::path& jpegDir) {
                                       std::filesystem::create_directory(jpegDir);
                                   }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
