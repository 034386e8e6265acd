#include "live/LiveServer.h"
#include "app/LiveView.h"
#include "base/Surface.h"
#include "capture/TestSource.h"
#include "live/LiveFrames.h"
#include "live/LiveSource.h"
#include "settings/Settings.h"
#include "tests/live/FakeMjpegCamera.h"
#include "tests/live/LiveClients.h"
#include "tests/live/StreamReader.h"
#include "tests/support/CameraFrames.h"
#include "tests/support/Deadline.h"
#include "tests/support/FakeVideoNodes.h"
#include "tests/support/FileBytes.h"
#include "tests/support/JpegImage.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/SurfacePixels.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers keep freed memory aside for a while.
constexpr bool measuresMemory = false;
#else
constexpr bool measuresMemory = true;
#endif

class LiveServerTest : public ::testing::Test {
protected:
    void start(LiveServer::Config config = {}) {
        config.port = 0;
        ASSERT_TRUE(server.start(config)) << lastLine();
    }
    std::string url(const std::string& path, const char* scheme = "http") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(server.port()) + path;
    }
    // curl's "status content-type" for a request.
    std::string answer(const std::string& curlArguments, const std::string& path) {
        return runClient("curl -s --path-as-is -o /dev/null -w '%{http_code} %{content_type}' " +
                         curlArguments + " '" + url(path) + "'")
            .output;
    }
    std::string lastLine() {
        std::lock_guard lock(linesMutex);
        return lines.empty() ? "" : lines.back();
    }

    std::mutex linesMutex;
    std::vector<std::string> lines;
    LiveSource source;
    LiveFrames frames;
    LiveServer server{source, frames, [this](const std::string& line) {
                          std::lock_guard lock(linesMutex);
                          lines.push_back(line);
                      }};
    FakeMjpegCamera camera{frames};
    TempDir dir;
};

// A request, and curl's "status content-type" for it; with a login, the server asks for the
// user "watcher" with the password "s3cret".
struct Route {
    const char* name;
    const char* curlArguments;
    const char* path;
    const char* answer;
    bool login = false;
};

class LiveRouteTest : public LiveServerTest, public ::testing::WithParamInterface<Route> {};

TEST_P(LiveRouteTest, AnswersOnlyItsRoutesAndOnlyToTheLogin) {
    LiveServer::Config config;
    if (GetParam().login) {
        config.user = "watcher";
        config.password = "s3cret";
    }
    start(config);
    EXPECT_EQ(answer(GetParam().curlArguments, GetParam().path), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, LiveRouteTest,
    ::testing::Values(
        Route{"Page", "", "/", "200 text/html; charset=utf-8"},
        Route{"HeadOfThePage", "-I", "/", "200 text/html; charset=utf-8"},
        Route{"Status", "", "/status", "200 application/json"},
        Route{"ImageBeforeTheFirstGrab", "", "/image.jpg", "503 text/plain; charset=utf-8"},
        Route{"HeadOfTheStream", "-I", "/stream",
              "200 multipart/x-mixed-replace; boundary=kavriframe"},
        Route{"AFileElsewhere", "", "/etc/passwd", "404 text/plain; charset=utf-8"},
        Route{"UpTheTree", "", "/../image.jpg", "404 text/plain; charset=utf-8"},
        Route{"Post", "-X POST -d x=1", "/", "405 text/plain; charset=utf-8"},
        Route{"Delete", "-X DELETE", "/image.jpg", "405 text/plain; charset=utf-8"},
        Route{"HeadersTooLarge", "-H \"X-Big: $(printf %040000d 0)\"", "/", "431 "},
        Route{"NoLogin", "", "/status", "401 text/plain; charset=utf-8", true},
        Route{"WrongPassword", "-u watcher:s3cre", "/status", "401 text/plain; charset=utf-8",
              true},
        Route{"WrongUser", "-u watch:s3cret", "/status", "401 text/plain; charset=utf-8", true},
        Route{"RightLogin", "-u watcher:s3cret", "/status", "200 application/json", true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(LiveServerTest, ImageIsTheNewestGrabsBytesWithItsDate) {
    start();
    const std::string jpeg = camera.frame(7);
    source.setImage(jpeg, std::chrono::system_clock::from_time_t(784111777));
    const std::string body = dir.file("body");
    const ClientRun run = runClient("curl -s -D - -o " + body + " " + url("/image.jpg"));
    EXPECT_EQ(readBytes(body), jpeg);
    for (const char* header : {"Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n",
                               "Cache-Control: no-cache\r\n", "ETag: \"784111777-1\"\r\n"}) {
        EXPECT_THAT(run.output, testing::HasSubstr(header));
    }
    EXPECT_EQ(answer("-H 'If-None-Match: \"784111777-1\"'", "/image.jpg"), "304 image/jpeg");
    EXPECT_THAT(runClient("curl -s " + url("/status")).output,
                testing::HasSubstr("\"image\":{\"bytes\":" + std::to_string(jpeg.size()) +
                                   ",\"written\":784111777}"));
}

struct Refusal {
    const char* name;
    const char* address;
    const char* user;
    const char* certFile;
    const char* why;
};

class LiveRefusalTest : public LiveServerTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(LiveRefusalTest, DoesNotListen) {
    LiveServer::Config config;
    config.address = GetParam().address;
    config.user = GetParam().user;
    config.certFile = config.keyFile = GetParam().certFile;
    EXPECT_FALSE(server.start(config));
    EXPECT_FALSE(server.running());
    EXPECT_EQ(lastLine(), "kavriWebCam: live view cannot listen on " + std::string(GetParam().why));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, LiveRefusalTest,
    ::testing::Values(
        Refusal{"EveryAddressWithoutPassword", "0.0.0.0", "", "",
                "0.0.0.0:8080: an address beyond this machine needs a user name and a password"},
        Refusal{"OtherAddressWithUserOnly", "192.0.2.1", "watcher", "",
                "192.0.2.1:8080: an address beyond this machine needs a user name and a password"},
        Refusal{"EveryIpv6AddressWithoutPassword", "::", "", "",
                "[::]:8080: an address beyond this machine needs a user name and a password"},
        Refusal{"AName", "camera.local", "", "", "camera.local:8080: not an IP address"},
        Refusal{"MissingCertificate", "127.0.0.1", "", "/nonexistent/cert.pem",
                "127.0.0.1:8080: cannot read /nonexistent/cert.pem"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(LiveServerTest, TellsWhereItListensAndWhenThePortIsTaken) {
    start();
    EXPECT_EQ(lastLine(), "kavriWebCam: live view listening on " + url("/"));
    LiveServer second(source, frames, [this](const std::string& line) { lines.push_back(line); });
    LiveServer::Config config;
    config.port = server.port();
    EXPECT_FALSE(second.start(config));
    EXPECT_THAT(lastLine(), testing::MatchesRegex(
                                "kavriWebCam: live view cannot listen on 127.0.0.1:" +
                                std::to_string(server.port()) + ": .*Address already in use.*"));
}

// A certificate for 127.0.0.1 from a test authority.
TEST_F(LiveServerTest, ServesOverTlsWithTheGivenCertificate) {
    const std::string ca = dir.file("ca");
    const std::string cert = dir.file("cert.pem");
    const std::string key = dir.file("key.pem");
    const std::string newKey =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 ";
    ASSERT_EQ(runClient(newKey + "-subj /CN=kavri-test-ca -keyout " + ca + ".key -out " + ca +
                        ".pem 2>&1 && " + newKey + "-CA " + ca + ".pem -CAkey " + ca +
                        ".key -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                        key + " -out " + cert + " 2>&1")
                  .status,
              0);
    LiveServer::Config config;
    config.certFile = cert;
    config.keyFile = key;
    start(config);
    EXPECT_EQ(lastLine(), "kavriWebCam: live view listening on " + url("/", "https"));
    EXPECT_EQ(runClient("curl -s --cacert " + ca + ".pem " + url("/status", "https"))
                  .output.substr(0, 10),
              "{\"camera\":");
    EXPECT_EQ(runClient("curl -s " + url("/status", "https")).status, 60) << "an unknown issuer";
    EXPECT_NE(runClient("curl -s " + url("/status")).status, 0) << "no plain HTTP";
}

TEST_F(LiveServerTest, FfprobeDecodesThirtyFramesOfTheStream) {
    start();
    camera.run(30);
    const ClientRun run = runClient(
        "ffprobe -v error -f mpjpeg -read_intervals '%+#30' -count_frames -select_streams v:0 "
        "-show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 " +
        url("/stream"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "mjpeg,64,48,30\n");
}

// Viewers that stall or read a byte a second, downloads of the picture that never read, a
// thousand idle connections and a flood of bad requests: the viewer that reads gets every
// frame as it comes, each grab is handed over at once, and the memory stays within a bound
// (frames of a quarter of a megabyte, which no viewer may make the program queue).
TEST_F(LiveServerTest, HostileClientsHoldUpNeitherViewersNorGrabsNorMemory) {
    FakeMjpegCamera large(frames, 256 * 1024);
    start();
    source.setImage(large.frame(0), std::chrono::system_clock::now());
    StreamReader stalled(server.port(), StreamReader::Pace::stalled);
    StreamReader slow(server.port(), StreamReader::Pace::byteASecond);
    StreamReader viewer(server.port(), StreamReader::Pace::full);
    ASSERT_TRUE(waitUntil([&] { return frames.viewers() == 3; })) << "three viewers";
    large.push(1);
    ASSERT_TRUE(waitUntil([&] { return viewer.newestFrame() == 1; }));
    const double memoryBefore = residentMb();
    std::atomic<bool> done{false};
    ClientRun flood;
    std::thread hostile([&] {
        flood = runClient(std::string(KAVRI_HOSTILE_CLIENTS) + " " + std::to_string(server.port()) +
                          " 1000 4");
        done = true;
    });
    int number = 1;
    auto slowestGrab = std::chrono::steady_clock::duration::zero();
    double mostMemory = memoryBefore;
    // Each frame is pushed once the viewer has the one before.
    for (bool keptUp = true; keptUp && (!done || number < 30);) {
        large.push(++number);
        const auto grab = std::chrono::steady_clock::now();
        source.setImage(large.frame(number), std::chrono::system_clock::now());
        slowestGrab = std::max(slowestGrab, std::chrono::steady_clock::now() - grab);
        keptUp = waitUntil([&] { return viewer.newestFrame() == number; });
        mostMemory = std::max(mostMemory, residentMb());
        EXPECT_TRUE(keptUp) << "the viewer got frame " << number;
    }
    hostile.join();
    EXPECT_GT(std::atoi(flood.output.c_str()), 100) << "bad requests went out: " << flood.output;
    EXPECT_LT(slowestGrab, 1s) << "a grab waited for the server";
    if (measuresMemory) {
        EXPECT_LT(mostMemory - memoryBefore, 16) << "megabytes more";
    }
    EXPECT_LT(slow.received().size(), 200u);
    EXPECT_TRUE(waitUntil([&] {
        return runClient("curl -s " + url("/image.jpg")).output == large.frame(number);
    })) << "the newest grab once the hostile clients are gone";
}

TEST_F(LiveServerTest, HeadlessChromiumShowsThePage) {
    start();
    camera.run(30);
    source.setImage(camera.frame(1), std::chrono::system_clock::now());
    const std::string shot = dir.file("page.png");
    const std::string chromium =
        "chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=800,600 "
        "--user-data-dir=" +
        dir.file("profile");
    const ClientRun run =
        runClient(chromium + " --timeout=3000 --screenshot=" + shot + " " + url("/") + " 2>&1");
    if (!std::ifstream(shot)) {
        GTEST_SKIP() << "chromium could not start: " << run.output;
    }
    const ClientRun spread =
        runClient("convert " + shot + " -format '%[fx:standard_deviation]' info:");
    EXPECT_GT(std::stod(spread.output), 0.01) << "a blank page";
    const std::string page =
        runClient(chromium + " --virtual-time-budget=3000 --dump-dom " + url("/") + " 2>/dev/null")
            .output;
    EXPECT_THAT(page, testing::HasSubstr("<p id=\"liveSize\">64 x 48</p>")) << "the stream";
    EXPECT_THAT(page, testing::HasSubstr("<p id=\"newestSize\">64 x 48</p>")) << "the picture";
}

TEST(LiveFramesTest, EncodesPixelsOncePerFrameAndOnlyWhileSomeoneWatches) {
    LiveFrames frames;
    const auto picture = Surface::create(32, 24);
    frames.pushPixels(*picture);
    ASSERT_TRUE(frames.addViewer(2));
    ASSERT_TRUE(frames.addViewer(2));
    EXPECT_FALSE(frames.addViewer(2)) << "two viewers at most";
    frames.pushPixels(*picture);
    const auto first = frames.newest(0);
    const auto second = frames.newest(0);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->number, 1u) << "nothing was encoded without viewers";
    EXPECT_EQ(first->part, second->part) << "one encoding for both viewers";
    EXPECT_NE(first->part->find("Content-Type: image/jpeg\r\nContent-Length: "), std::string::npos);
    const std::size_t stamp = first->part->find("\r\nX-Timestamp: ");
    ASSERT_NE(stamp, std::string::npos);
    EXPECT_NEAR(std::stod(first->part->substr(stamp + 15)), static_cast<double>(std::time(nullptr)),
                5)
        << "when the frame arrived";
}

// The live view as the program runs it, on 127.0.0.1.
class LiveViewTest : public testing::Test {
protected:
    LiveViewTest() {
        Settings::setLiveActive(true);
        Settings::setLivePort(0);
        live.applySettings();
    }
    std::string status() {
        return runClient("curl -s 127.0.0.1:" + std::to_string(live.port()) + "/status").output;
    }

    SettingsSnapshot settings;
    LiveView live;
};

struct StreamRow {
    const char* name;
    std::uint32_t pixelFormat;
    int viewers;
};

// A camera on the fake video nodes that tells the live view through its outlets, as the
// program wires them, and viewers of the stream.
class LiveCameraStream : public LiveViewTest, public testing::WithParamInterface<StreamRow> {
protected:
    V4l2Camera plugCamera() {
        fake->formats = {{GetParam().pixelFormat, {size}}};
        fake->plugIn();
        nodes.plug("/dev/video0", fake);
        const CameraOutlets outlets = live.cameraOutlets();
        auto machine = nodes.machine(std::make_shared<HealthLine>(V4l2Camera::healthWords,
                                                                  std::chrono::steady_clock::now,
                                                                  outlets.health),
                                     {20s, 1h, 10ms, 40ms});
        machine.frames = outlets.frames;
        return V4l2Camera("/dev/video0", V4l2Camera::Identity::of(fake->capability, ""), "Fake Cam",
                          machine);
    }
    // Pushes frame until the last whole part of every viewer passes.
    bool pushUntil(const FakeV4l2Camera::Bytes& frame,
                   const std::function<bool(const std::string& part)>& passes) {
        return waitUntil([&] {
            fake->push(frame);
            return std::ranges::all_of(viewers, [&](const auto& viewer) {
                const std::string data = viewer->received();
                const std::size_t end = data.rfind("\xFF\xD9\r\n");
                const std::size_t start = data.find("\r\n\r\n", data.rfind("--kavri", end)) + 4;
                return end != std::string::npos && passes(data.substr(start, end + 2 - start));
            });
        });
    }
    int conversions() { return (fake->lock(), fake->conversions); }

    static constexpr FrameSize size{352, 288};
    std::shared_ptr<FakeV4l2Camera> fake = FakeV4l2Camera::create("Fake Cam", "usb-1");
    FakeVideoNodes nodes;
    std::vector<std::unique_ptr<StreamReader>> viewers;
};

// MJPEG passes through as the camera made it, with the Huffman tables put in where it left
// them out; other formats are converted once per frame however many watch, and nothing is
// converted while nobody does. A camera pulled out gives the "no camera" picture (320 x 240)
// until it is back.
TEST_P(LiveCameraStream, StreamsTheCameraAsItComesAndNoCameraWhileItIsAway) {
    const bool mjpeg = GetParam().pixelFormat == V4L2_PIX_FMT_MJPEG;
    auto camera = plugCamera();
    ASSERT_TRUE(camera.open());
    const Surface picture = TestSource::render(size, 1);
    // MJPEG as from a webcam, without the Huffman tables.
    const auto frame = std::make_shared<const std::vector<std::uint8_t>>(
        CameraFrames::make(GetParam().pixelFormat, picture));
    const std::string sent(frame->begin(), frame->end());
    for (int pushed = 0; pushed < 3; ++pushed) {
        fake->push(frame);
    }
    ASSERT_TRUE(fake->waitUntilHandled()) << "waited for the camera to take the frames";
    EXPECT_EQ(conversions(), 0) << "nobody watches";

    for (int i = 0; i < GetParam().viewers; ++i) {
        viewers.push_back(std::make_unique<StreamReader>(live.port(), StreamReader::Pace::full));
    }
    const auto isCameraFrame = [&](const std::string& part) {
        const auto shown = decodeJpeg(part, size.width, size.height);
        return mjpeg ? part.find("\xFF\xC4") < part.find("\xFF\xDA") &&
                           CameraFrames::withoutHuffmanTables(part) == sent
                     : shown && meanDifference(*shown, picture) < 8;
    };
    ASSERT_TRUE(pushUntil(frame, isCameraFrame)) << "every viewer sees the camera";
    if (mjpeg) {
        const std::string whole = *FrameEncoder().encode(picture);
        ASSERT_TRUE(
            pushUntil(std::make_shared<const std::vector<std::uint8_t>>(whole.begin(), whole.end()),
                      [&](const std::string& part) { return part == whole; }))
            << "a frame with its tables passes byte for byte";
    }
    ASSERT_TRUE(fake->waitUntilHandled());
    const int before = conversions();
    for (int pushed = 0; pushed < 5; ++pushed) {
        fake->push(frame);
        ASSERT_TRUE(fake->waitUntilHandled());
    }
    EXPECT_EQ(conversions() - before, mjpeg ? 0 : 5) << "once per frame for every viewer";

    fake->unplug();
    nodes.remove("/dev/video0");
    ASSERT_TRUE(pushUntil(frame, [](const std::string& part) {
        return decodeJpeg(part, 320, 240).has_value();
    })) << "the no camera picture";
    EXPECT_THAT(status(),
                testing::HasSubstr("\"camera\":{\"state\":\"failing\",\"line\":\"kavriWebCam: "
                                   "camera lost: Fake Cam at /dev/video0: No such device\"}"));
    fake->plugIn();
    nodes.plug("/dev/video0", fake);
    ASSERT_TRUE(pushUntil(frame, isCameraFrame)) << "the stream goes on";
    EXPECT_THAT(status(), testing::HasSubstr("\"camera\":{\"state\":\"working\",\"line\":"
                                             "\"kavriWebCam: camera back after "));
}

INSTANTIATE_TEST_SUITE_P(LiveView, LiveCameraStream,
                         testing::Values(StreamRow{"Mjpeg", V4L2_PIX_FMT_MJPEG, 2},
                                         StreamRow{"YuyvToOneViewer", V4L2_PIX_FMT_YUYV, 1},
                                         StreamRow{"YuyvToThreeViewers", V4L2_PIX_FMT_YUYV, 3}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
