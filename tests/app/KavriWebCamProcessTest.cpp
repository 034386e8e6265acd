#include "tests/support/Deadline.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

const std::string noDisplayLine = "kavriWebCam: no display found, running without one\n";

// The program itself, started in dir with the settings file text (unless null), its
// standard error in "stderr.txt" there, and no display it can use: none named, or one
// named that cannot be opened. As under a service manager, there is no XDG_RUNTIME_DIR.
class KavriWebCamProcess {
public:
    KavriWebCamProcess(const std::filesystem::path& dir, const char* settings,
                       std::vector<const char*> arguments, const char* display = nullptr)
        : dir(dir) {
        if (settings) {
            std::ofstream(dir / "kavriWebCam.ini", std::ios::binary) << settings;
        }
        arguments.insert(arguments.begin(), KAVRIWEBCAM_PATH);
        arguments.push_back(nullptr);
        const pid_t test = getpid();
        pid = fork();
        if (pid == 0) {
            // Killed with the test, also when the test is killed at its time-out.
            if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != test) {
                _exit(126);
            }
            const int errorFile = creat((dir / "stderr.txt").c_str(), 0600);
            if (chdir(dir.c_str()) != 0 || errorFile < 0 || dup2(errorFile, STDERR_FILENO) < 0) {
                _exit(126);
            }
            for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) {
                unsetenv(name);
            }
            display ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY");
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

    // Sends signal (unless 0), then SIGINT again and again, as an impatient user at a
    // terminal would, until the program has ended; returns its exit code, or -1 when it did
    // not exit by itself within the time limit.
    int end(int signal) {
        int status = 0;
        kill(pid, signal);
        if (!waitUntil([&] {
                kill(pid, signal ? SIGINT : 0);
                return waitpid(pid, &status, WNOHANG) == pid;
            })) {
            return -1;
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string told() const { return readBytes(dir / "stderr.txt"); }

    std::filesystem::path dir;
    pid_t pid = -1;
};

// Counts the writes of the files in a directory that have ended (inotify's IN_CLOSE_WRITE).
class EndedWrites {
public:
    explicit EndedWrites(const std::filesystem::path& dir)
        : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd, dir.c_str(), IN_CLOSE_WRITE);
    }
    ~EndedWrites() { close(fd); }
    EndedWrites(const EndedWrites&) = delete;
    EndedWrites& operator=(const EndedWrites&) = delete;

    int of(const std::string& name) {
        alignas(inotify_event) char events[4096];
        for (ssize_t size; (size = read(fd, events, sizeof events)) > 0;) {
            for (ssize_t at = 0; at < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                ended[event->len > 0 ? event->name : ""] += 1;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return ended[name];
    }

private:
    int fd;
    std::map<std::string, int> ended;
};

// One row: the signal that ends the program, and the display it is left without.
class EndingSignal : public testing::TestWithParam<std::pair<int, const char*>> {};

TEST_P(EndingSignal, GrabsHeadlessAndEndsLikeExitWithTheSettingsSaved) {
    TempDir dir;
    // Qt's own options are only text on the program's command line.
    KavriWebCamProcess program(dir.path(), "<image update='1'/><network active='0'/>",
                               {"/testsource", "/run", "-platform", "nonexistent"},
                               GetParam().second);
    EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(dir.path() / "image.jpg"); }));
    EXPECT_EQ(readBytes(dir.path() / "image.jpg").substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(program.end(GetParam().first), 0);
    const std::string settings = readBytes(dir.path() / "kavriWebCam.ini");
    for (const char* line :
         {"devicename = 'Test Source'", "update = '1'", "savesettingsonexit = '1'"}) {
        EXPECT_NE(settings.find(line), std::string::npos) << line << "\n" << settings;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "_temp.dib") ||
                 std::filesystem::exists(dir.path() / "_ERROR.TXT"));
    // The program's own line and nothing of Qt's.
    EXPECT_EQ(program.told(), noDisplayLine);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(, EndingSignal,
    testing::Values(std::pair{SIGTERM, nullptr}, std::pair{SIGINT, ":4242"}, std::pair{SIGHUP, nullptr}),
    [](const auto& info) { return sigabbrev_np(info.param.first); });
// clang-format on

TEST(KavriWebCamProcessTest, AFifoNamedLikeTheSettingsFileIsNeitherReadNorWritten) {
    TempDir dir;
    const auto settingsFile = dir.path() / "kavriWebCam.ini";
    ASSERT_EQ(mkfifo(settingsFile.c_str(), 0600), 0);
    KavriWebCamProcess program(dir.path(), nullptr, {"/testsource"});
    // The line comes once start-up has gone on without waiting for a writer.
    EXPECT_TRUE(waitUntil([&] { return !program.told().empty(); }));
    EXPECT_EQ(program.end(SIGTERM), 0);
    EXPECT_TRUE(std::filesystem::is_fifo(settingsFile));
}

TEST(KavriWebCamProcessTest, WithoutACameraOrTheTestSourceItEndsWithTheNoDeviceBox) {
    if (std::filesystem::exists("/dev/video0")) {
        GTEST_SKIP() << "this machine has a camera";
    }
    TempDir dir;
    KavriWebCamProcess program(dir.path(), nullptr, {"/run"});
    EXPECT_EQ(program.end(0), 1);
    EXPECT_EQ(program.told(), noDisplayLine +
                                  "kavri WebCam Error: Capture:: There is no capture-device "
                                  "available.\nProgram Terminating.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "_ERROR.TXT"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "kavriWebCam.ini"));
}

// The JPEG directory is a full file system (a 64 KiB tmpfs, where the tests may mount one) or,
// elsewhere, missing; then room is made.
TEST(KavriWebCamProcessTest, AHeadlessRunSaysOnceThatTheJpegFileCannotBeWrittenAndWhenAgain) {
    TempDir dir;
    const auto jpegDir = dir.path() / "jpeg";
    std::filesystem::create_directory(jpegDir);
    const bool full = mount("kavri", jpegDir.c_str(), "tmpfs", 0, "size=64k") == 0;
    const struct Unmount {
        std::filesystem::path at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{jpegDir};
    if (full) {
        std::ofstream(jpegDir / "filler") << std::string(1 << 20, 'x');
    } else {
        std::filesystem::remove(jpegDir);
    }
    EndedWrites writes(dir.path());
    KavriWebCamProcess program(dir.path(),
                               "<image update='1' jpegfile='jpeg/image.jpg'/><network active='0'/>",
                               {"/testsource", "/run"});
    ASSERT_TRUE(waitUntil([&] {
        return program.told().find("cannot be written") != std::string::npos;
    })) << "waited for the line that the JPEG file cannot be written";
    // The next grab fails without a word: the frame file is written at the start of each, so
    // the second frame file written in full after the line shows that the grab before it has
    // ended.
    const int framesAtLine = writes.of("_temp.dib");
    ASSERT_TRUE(waitUntil([&] { return writes.of("_temp.dib") >= framesAtLine + 2; }))
        << "waited for two more frame files";
    full ? std::filesystem::remove(jpegDir / "filler") : std::filesystem::create_directory(jpegDir);
    ASSERT_TRUE(waitUntil([&] {
        return program.told().find("written again") != std::string::npos;
    })) << "waited for the line that the JPEG file is written again";
    EXPECT_TRUE(std::filesystem::exists(jpegDir / "image.jpg"));
    EXPECT_EQ(program.end(SIGTERM), 0);
    std::smatch lines;
    const std::string all = program.told();
    ASSERT_TRUE(std::regex_match(
        all, lines,
        std::regex(noDisplayLine + "kavriWebCam: JPEG file cannot be written: jpeg/image[.]jpg: " +
                   (full ? "No space left on device" : "No such file or directory") +
                   "\nkavriWebCam: JPEG file written again after ([0-9]+) failures in "
                   "[0-9a-z ]+\n")))
        << all;
    // The first failure and at least the grab after it.
    EXPECT_GE(std::stoi(lines[1]), 2);
}

} // namespace
