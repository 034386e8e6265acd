#include "settings/SettingsFile.h"

#include "app/MainWindow.h"
#include "capture/Capture.h"
#include "res/MenuTemplates.h"
#include "res/Version.h"
#include "settings/Settings.h"
#include "tests/capture/RecordingCaptureService.h"
#include "tests/capture/WorkingDirectory.h"
#include "tests/support/FakeDialogRunner.h"
#include "tests/support/FakeWindowSystem.h"
#include "tests/support/RecordingTrayShell.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <sys/resource.h>

using namespace std::string_literals;

namespace {

// Every value the settings file holds, wherever it is kept.
struct Snapshot {
    bool saveSettingsOnExit;
    int windowZoom;
    int fps;
    int maxFps;
    std::string deviceName;
    std::int32_t deviceNumber;
    std::string jpegFile;
    unsigned jpegQuality;
    unsigned update;
    bool dateTimeOverlay;
    std::string textOverlay;
    std::uint32_t textColor;
    std::uint32_t backColor;
    std::string host;
    unsigned port;
    std::string saveTo;
    std::string user;
    std::string password;
    bool active;
    bool stopOnError;
    bool usePassive;

    bool operator==(const Snapshot&) const = default;

    static Snapshot take(const MainWindow& window, const Capture& capture) {
        return {Settings::getSaveSettingsOnExit(),
                window.getZoomIndex(),
                Settings::getFps(),
                Settings::getMaxFps(),
                capture.getDeviceName(),
                capture.deviceIndex,
                Settings::getJpegFile(),
                Settings::getJpegQuality(),
                Settings::getUpdate(),
                Settings::getDateTimeOverlay(),
                Settings::getTextOverlay(),
                Settings::getTextColor(),
                Settings::getBackColor(),
                Settings::getHost(),
                Settings::getPort(),
                Settings::getSaveTo(),
                Settings::getUser(),
                Settings::getPassword(),
                Settings::getActive(),
                Settings::getStopOnError(),
                Settings::getUsePassive()};
    }

    void restore(MainWindow& window, Capture& capture) const {
        Settings::setSaveSettingsOnExit(saveSettingsOnExit);
        window.setZoomIndex(windowZoom);
        Settings::setFps(fps);
        Settings::setMaxFps(maxFps);
        capture.setDeviceName(deviceName);
        capture.deviceIndex = deviceNumber;
        Settings::setJpegFile(jpegFile);
        Settings::setJpegQuality(jpegQuality);
        Settings::setUpdate(update);
        Settings::setDateTimeOverlay(dateTimeOverlay);
        Settings::setTextOverlay(textOverlay);
        Settings::setTextColor(textColor);
        Settings::setBackColor(backColor);
        Settings::setHost(host);
        Settings::setPort(port);
        Settings::setSaveTo(saveTo);
        Settings::setUser(user);
        Settings::setPassword(password);
        Settings::setActive(active);
        Settings::setStopOnError(stopOnError);
        Settings::setUsePassive(usePassive);
    }
};

void PrintTo(const Snapshot& s, std::ostream* out) {
    *out << "{exit " << s.saveSettingsOnExit << ", zoom " << s.windowZoom << ", fps " << s.fps
         << "/" << s.maxFps << ", device " << testing::PrintToString(s.deviceName) << " #"
         << s.deviceNumber << ", jpeg " << testing::PrintToString(s.jpegFile) << " q"
         << s.jpegQuality << ", update " << s.update << ", datetime " << s.dateTimeOverlay
         << ", text " << testing::PrintToString(s.textOverlay) << " colours " << s.textColor << "/"
         << s.backColor << ", ftp " << testing::PrintToString(s.user) << ":"
         << testing::PrintToString(s.password) << "@" << testing::PrintToString(s.host) << ":"
         << s.port << " " << testing::PrintToString(s.saveTo) << ", active " << s.active
         << ", stop " << s.stopOnError << ", passive " << s.usePassive << "}";
}

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& name, const std::string& contents) {
    std::ofstream(name, std::ios::binary) << contents;
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// A real main window over a window system without a screen and a real capture object over
// a recording capture service, wired as start-up wires them, in a temporary working
// directory. The store is process-wide: each test starts from what the process held and
// puts it back.
class SettingsFileTest : public testing::Test {
protected:
    SettingsFileTest() {
        system.menuTemplate = findMenuTemplate(mainMenuId);
        service.descriptions = {"Cam Zero", "Cam One", "Cam Two"};
        window.setCapture(&capture);
    }
    ~SettingsFileTest() override {
        // Closing the window may save the settings, which needs the capture object.
        windowOwner.reset();
        captureOwner.reset();
    }

    void SetUp() override { initial = Snapshot::take(window, capture); }
    void TearDown() override { initial.restore(window, capture); }

    Snapshot now() const { return Snapshot::take(window, capture); }
    void save() { saveSettingsFile(window, capture, fileName); }
    void load() { loadSettingsFile(window, capture, fileName); }
    // Saves, puts back the values the test started with, and loads again.
    void saveAndReload() {
        save();
        initial.restore(window, capture);
        load();
    }
    // The window as the window system shows it.
    FakeTopLevelWindow& shown() { return *system.window; }

    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    FakeWindowSystem system;
    RecordingTrayShell tray;
    FakeDialogRunner dialogs;
    RecordingCaptureService service;
    std::unique_ptr<MainWindow> windowOwner =
        std::make_unique<MainWindow>(system, tray, dialogs, showCommand::SW_SHOWNORMAL);
    std::unique_ptr<Capture> captureOwner =
        std::make_unique<Capture>(service, windowOwner->captureParent());
    MainWindow& window = *windowOwner;
    Capture& capture = *captureOwner;
    const std::string fileName = dir.file("kavriWebCam.ini");
    Snapshot initial{};
};

const std::string defaultsFile = "<kavriwebcam version='" KAVRI_VERSION "'>\r\n"
                                 "  <program\r\n"
                                 "    savesettingsonexit = '1'\r\n"
                                 "    windowzoom = '3'\r\n"
                                 "    windowpositionX = '0'\r\n"
                                 "    windowpositionY = '0'\r\n"
                                 "  >\r\n"
                                 "  </program>\r\n"
                                 "  <capture\r\n"
                                 "    fps = '30'\r\n"
                                 "    maxfps = '30'\r\n"
                                 "    devicename = 'Test Source'\r\n"
                                 "    devicenumber = '0'\r\n"
                                 "  >\r\n"
                                 "  </capture>\r\n"
                                 "  <image\r\n"
                                 "    jpegfile = 'image.jpg'\r\n"
                                 "    jpegquality = '70'\r\n"
                                 "    update = '5'\r\n"
                                 "    datetimeoverlay = '1'\r\n"
                                 "    textoverlay = ''\r\n"
                                 "    textcolor = '53771'\r\n"
                                 "    backcolor = '0'\r\n"
                                 "  >\r\n"
                                 "  </image>\r\n"
                                 "  <network\r\n"
                                 "    host = 'ftp.example.com'\r\n"
                                 "    port = '21'\r\n"
                                 "    saveto = 'public_html/image.jpg'\r\n"
                                 "    user = 'theusername'\r\n"
                                 "    password = 'nnstxibranr'\r\n"
                                 "    active = '1'\r\n"
                                 "    stoponerror = '0'\r\n"
                                 "    usepassive = '1'\r\n"
                                 "  >\r\n"
                                 "  </network>\r\n"
                                 "</kavriwebcam>\r\n";

TEST_F(SettingsFileTest, DefaultsGiveTheThirtySevenLines) {
    capture.setDeviceName("Test Source");
    save();
    const std::string written = readFile(fileName);
    EXPECT_EQ(written, defaultsFile);
    EXPECT_EQ(countOf(written, "\r\n"), 37u);
}

TEST_F(SettingsFileTest, SignedAndUnsignedNumbersInPlainDecimal) {
    window.setZoomIndex(9);
    shown().move(-17, 1050);
    capture.deviceIndex = -1;
    Settings::setFps(-5);
    Settings::setUpdate(4294967295u);
    Settings::setTextColor(0x00FFFFFF);
    save();
    const std::string written = readFile(fileName);
    for (const char* line :
         {"    windowzoom = '9'\r\n", "    windowpositionX = '-17'\r\n",
          "    windowpositionY = '1050'\r\n", "    devicenumber = '-1'\r\n", "    fps = '-5'\r\n",
          "    update = '4294967295'\r\n", "    textcolor = '16777215'\r\n"}) {
        EXPECT_NE(written.find(line), std::string::npos) << line;
    }
}

TEST_F(SettingsFileTest, TwoSavesInARowAreByteIdentical) {
    shown().move(300, 200);
    Settings::setTextOverlay("it's <live> & \"loud\"\r\n");
    Settings::setPassword("p'a&#39;ss\x01\xff");
    save();
    const std::string first = readFile(fileName);
    save();
    EXPECT_EQ(readFile(fileName), first);
}

TEST_F(SettingsFileTest, PositionIsWhereTheWindowStandsAndIsWhereItIsPlacedAgain) {
    shown().move(-40, 600);
    save();
    shown().move(300, 300);
    load();
    window.setupMenus();
    EXPECT_EQ(shown().rect.left, -40);
    EXPECT_EQ(shown().rect.top, 600);
}

TEST_F(SettingsFileTest, PositionReadFromTheFileIsAppliedAtMenuSetUp) {
    writeFile(fileName, "<program windowpositionX='-100' windowpositionY='50'/>");
    load();
    EXPECT_EQ(shown().rect.left, 0) << "reading only stores the position";
    window.setupMenus();
    EXPECT_EQ(shown().rect.left, -100);
    EXPECT_EQ(shown().rect.top, 50);
}

TEST_F(SettingsFileTest, ZoomOutsideTheTableReadsAsTheDefault) {
    for (const char* value : {"-1", "10", "abc"}) {
        window.setZoomIndex(6);
        writeFile(fileName, "<program windowzoom='"s + value + "'/>");
        load();
        EXPECT_EQ(window.getZoomIndex(), value == "abc"s ? 0 : 3) << value;
    }
}

TEST_F(SettingsFileTest, SaveReplacesALongerFileAndLeavesNothingElse) {
    writeFile(fileName, std::string(10000, 'x'));
    capture.setDeviceName("Test Source");
    save();
    EXPECT_EQ(readFile(fileName), defaultsFile);
    std::vector<std::filesystem::path> entries(std::filesystem::directory_iterator(dir.path()),
                                               std::filesystem::directory_iterator());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].filename(), "kavriWebCam.ini");
}

// Makes every write past limitBytes of a file fail (as a full disk would) for its lifetime.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limitBytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = previous;
        limited.rlim_cur = limitBytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};

TEST_F(SettingsFileTest, FailedWriteLeavesTheOldFileWhole) {
    save();
    const std::string old = readFile(fileName);
    Settings::setJpegQuality(99);
    {
        FileSizeLimit limit(100);
        save();
    }
    EXPECT_EQ(readFile(fileName), old);
    std::vector<std::filesystem::path> entries(std::filesystem::directory_iterator(dir.path()),
                                               std::filesystem::directory_iterator());
    EXPECT_EQ(entries.size(), 1u) << "the unfinished file is removed";
}

TEST_F(SettingsFileTest, MissingDirectoryWritesNothingAndReportsNothing) {
    const std::string inMissing = dir.file("missing/kavriWebCam.ini");
    saveSettingsFile(window, capture, inMissing);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST_F(SettingsFileTest, ADirectoryInTheWayStaysAndNothingIsLeftBehind) {
    std::filesystem::create_directory(fileName);
    save();
    EXPECT_TRUE(std::filesystem::is_directory(fileName));
    std::vector<std::filesystem::path> entries(std::filesystem::directory_iterator(dir.path()),
                                               std::filesystem::directory_iterator());
    EXPECT_EQ(entries.size(), 1u);
}

TEST_F(SettingsFileTest, MissingFileChangesNothing) {
    load();
    EXPECT_EQ(now(), initial);
}

// One setting changed away from its default, saved and read back.
struct RoundTripRow {
    const char* name;
    std::function<void(MainWindow&, Capture&)> change;
};

void PrintTo(const RoundTripRow& row, std::ostream* out) {
    *out << row.name;
}

class SettingsFileRoundTripTest : public SettingsFileTest,
                                  public testing::WithParamInterface<RoundTripRow> {};

TEST_P(SettingsFileRoundTripTest, ReadsBackWhatWasSaved) {
    GetParam().change(window, capture);
    const Snapshot changed = now();
    ASSERT_NE(changed, initial) << "the row changes something";
    saveAndReload();
    EXPECT_EQ(now(), changed);
}

INSTANTIATE_TEST_SUITE_P(
    EverySetting, SettingsFileRoundTripTest,
    testing::Values(
        RoundTripRow{"savesettingsonexit",
                     [](MainWindow&, Capture&) { Settings::setSaveSettingsOnExit(false); }},
        RoundTripRow{"windowzoom", [](MainWindow& w, Capture&) { w.setZoomIndex(8); }},
        RoundTripRow{"fps", [](MainWindow&, Capture&) { Settings::setFps(15); }},
        RoundTripRow{"maxfps", [](MainWindow&, Capture&) { Settings::setMaxFps(60); }},
        RoundTripRow{"devicename",
                     [](MainWindow&, Capture& c) { c.setDeviceName("USB Camera (046d:0825)"); }},
        RoundTripRow{"devicenumber", [](MainWindow&, Capture& c) { c.deviceIndex = 9; }},
        RoundTripRow{"jpegfile",
                     [](MainWindow&, Capture&) { Settings::setJpegFile("/srv/www/cam.jpg"); }},
        RoundTripRow{"jpegquality", [](MainWindow&, Capture&) { Settings::setJpegQuality(100); }},
        RoundTripRow{"update", [](MainWindow&, Capture&) { Settings::setUpdate(4294967); }},
        RoundTripRow{"datetimeoverlay",
                     [](MainWindow&, Capture&) { Settings::setDateTimeOverlay(false); }},
        RoundTripRow{"textoverlay",
                     [](MainWindow&, Capture&) { Settings::setTextOverlay("Front door"); }},
        RoundTripRow{"textcolor", [](MainWindow&, Capture&) { Settings::setTextColor(0xABCDEF); }},
        RoundTripRow{"backcolor", [](MainWindow&, Capture&) { Settings::setBackColor(0xFFFFFF); }},
        RoundTripRow{"host", [](MainWindow&, Capture&) { Settings::setHost("127.0.0.1"); }},
        RoundTripRow{"port", [](MainWindow&, Capture&) { Settings::setPort(65535); }},
        RoundTripRow{"saveto", [](MainWindow&, Capture&) { Settings::setSaveTo("cam/now.jpg"); }},
        RoundTripRow{"user", [](MainWindow&, Capture&) { Settings::setUser("anonymous"); }},
        RoundTripRow{"password", [](MainWindow&, Capture&) { Settings::setPassword("s3cret!"); }},
        RoundTripRow{"active", [](MainWindow&, Capture&) { Settings::setActive(false); }},
        RoundTripRow{"stoponerror", [](MainWindow&, Capture&) { Settings::setStopOnError(true); }},
        RoundTripRow{"usepassive", [](MainWindow&, Capture&) { Settings::setUsePassive(false); }},
        RoundTripRow{"all",
                     [](MainWindow& w, Capture& c) {
                         Settings::setSaveSettingsOnExit(false);
                         w.setZoomIndex(0);
                         Settings::setFps(1);
                         Settings::setMaxFps(5);
                         c.setDeviceName("Cam");
                         c.deviceIndex = 2;
                         Settings::setJpegFile("a.jpg");
                         Settings::setJpegQuality(1);
                         Settings::setUpdate(60);
                         Settings::setDateTimeOverlay(false);
                         Settings::setTextOverlay("t");
                         Settings::setTextColor(1);
                         Settings::setBackColor(2);
                         Settings::setHost("h");
                         Settings::setPort(2121);
                         Settings::setSaveTo("s");
                         Settings::setUser("u");
                         Settings::setPassword("p");
                         Settings::setActive(false);
                         Settings::setStopOnError(true);
                         Settings::setUsePassive(false);
                     }}),
    [](const testing::TestParamInfo<RoundTripRow>& info) { return std::string(info.param.name); });

// Each text setting with values that the file's form has to carry.
struct TextKey {
    const char* name;
    std::function<void(Capture&, const std::string&)> set;
    std::function<std::string(const Capture&)> get;
};

struct TextValue {
    const char* name;
    std::string value;
};

void PrintTo(const TextKey& key, std::ostream* out) {
    *out << key.name;
}
void PrintTo(const TextValue& text, std::ostream* out) {
    *out << text.name;
}

class SettingsFileTextTest : public SettingsFileTest,
                             public testing::WithParamInterface<std::tuple<TextKey, TextValue>> {};

TEST_P(SettingsFileTextTest, ReadsBackExactly) {
    const auto& [key, text] = GetParam();
    key.set(capture, text.value);
    const Snapshot changed = now();
    save();
    const std::string written = readFile(fileName);
    EXPECT_EQ(countOf(written, "\r\n"), 37u);
    EXPECT_EQ(countOf(written, "\n"), 37u);
    EXPECT_EQ(countOf(written, "'"), 2u * 24u) << "one pair for the version, one per key";
    initial.restore(window, capture);
    load();
    EXPECT_EQ(key.get(capture), text.value);
    EXPECT_EQ(now(), changed);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsFileTextTest,
    testing::Combine(
        testing::Values(
            TextKey{"devicename", [](Capture& c, const std::string& v) { c.setDeviceName(v); },
                    [](const Capture& c) { return c.getDeviceName(); }},
            TextKey{"jpegfile", [](Capture&, const std::string& v) { Settings::setJpegFile(v); },
                    [](const Capture&) { return Settings::getJpegFile(); }},
            TextKey{"textoverlay",
                    [](Capture&, const std::string& v) { Settings::setTextOverlay(v); },
                    [](const Capture&) { return Settings::getTextOverlay(); }},
            TextKey{"host", [](Capture&, const std::string& v) { Settings::setHost(v); },
                    [](const Capture&) { return Settings::getHost(); }},
            TextKey{"saveto", [](Capture&, const std::string& v) { Settings::setSaveTo(v); },
                    [](const Capture&) { return Settings::getSaveTo(); }},
            TextKey{"user", [](Capture&, const std::string& v) { Settings::setUser(v); },
                    [](const Capture&) { return Settings::getUser(); }},
            TextKey{"password", [](Capture&, const std::string& v) { Settings::setPassword(v); },
                    [](const Capture&) { return Settings::getPassword(); }}),
        testing::Values(TextValue{"Empty", ""}, TextValue{"Apostrophes", "it's 'quoted'"},
                        TextValue{"QuotationMarks", "say \"cheese\""},
                        TextValue{"BothQuoteKinds", "'\"'\"'"},
                        TextValue{"Markup", "<a b='c'/> </network>"},
                        TextValue{"Ampersands", "Tom & Jerry &amp; &#"},
                        TextValue{"LiteralReference", "&#39;"},
                        TextValue{"LineEnds", "one\r\ntwo\nthree\r"},
                        TextValue{"ControlBytes", "\x01\x02\t\x1b\x1f\x7f"},
                        TextValue{"HighBytes", "caf\xc3\xa9 \x80\xfe\xff"},
                        TextValue{"Injection", "x' password='stolen' y='"},
                        TextValue{"Long", std::string(400, '\'')})),
    [](const testing::TestParamInfo<std::tuple<TextKey, TextValue>>& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

TEST_F(SettingsFileTest, TextOverlayIsKeptUpToItsFirstZeroByte) {
    Settings::setTextOverlay("before\0after"s);
    saveAndReload();
    EXPECT_EQ(Settings::getTextOverlay(), "before");
}

TEST_F(SettingsFileTest, RandomPasswordsOfBytesOneTo255ReadBack) {
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> length(1, 80);
    std::uniform_int_distribution<int> byte(1, 255);
    for (int round = 0; round < 300; ++round) {
        std::string password(length(random), '\0');
        for (char& c : password) {
            c = static_cast<char>(byte(random));
        }
        Settings::setPassword(password);
        save();
        Settings::setPassword("");
        load();
        ASSERT_EQ(Settings::getPassword(), password) << "file:\n" << readFile(fileName);
    }
}

TEST(TransformPasswordTest, KeyHoldsOnlyShiftsOfOneAtMost) {
    for (int shift : passwordKey) {
        EXPECT_TRUE(shift == -1 || shift == 0 || shift == 1);
    }
}

TEST(TransformPasswordTest, ShiftsEachBytePerPositionWithWrapAround) {
    // Longer than the key, so the key repeats; 0 and 255 wrap.
    std::string plain(60, '\0');
    for (std::size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<char>(i % 2 == 0 ? 0 : 255);
    }
    const std::string shifted = transformPassword(plain, +1);
    ASSERT_EQ(shifted.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const int expected = ((i % 2 == 0 ? 0 : 255) + passwordKey[i % 25] + 256) % 256;
        EXPECT_EQ(static_cast<unsigned char>(shifted[i]), expected) << "byte " << i;
    }
    EXPECT_EQ(transformPassword(shifted, -1), plain);
    EXPECT_EQ(transformPassword("mossyharbor", +1), "nnstxibranr");
}

// Hand-written files and what they set, starting from the values the test began with.
struct ReadRow {
    const char* name;
    std::string document;
    std::function<void(Snapshot&)> expect;
};

void PrintTo(const ReadRow& row, std::ostream* out) {
    *out << row.name;
}

class SettingsFileReadTest : public SettingsFileTest,
                             public testing::WithParamInterface<ReadRow> {};

TEST_P(SettingsFileReadTest, AppliesExactlyWhatTheRulesSay) {
    writeFile(fileName, GetParam().document);
    Snapshot expected = now();
    GetParam().expect(expected);
    load();
    EXPECT_EQ(now(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SettingsFileReadTest,
    testing::Values(
        ReadRow{"ColourUnpacked", "<image textcolor='0' backcolor='53771'/>",
                [](Snapshot& s) {
                    s.textColor = 0;
                    s.backColor = 11 + 210 * 256;
                }},
        ReadRow{"ColourMinusOneIsWhite", "<image textcolor='-1'/>",
                [](Snapshot& s) { s.textColor = 0xFFFFFF; }},
        ReadRow{"BooleanWordTrueIsFalse", "<network active='true'/>",
                [](Snapshot& s) { s.active = false; }},
        ReadRow{"BooleanOneIsTrue", "<network stoponerror='1'/>",
                [](Snapshot& s) { s.stopOnError = true; }},
        ReadRow{"BooleanSpaceOneIsTrue", "<network stoponerror=' 1'/>",
                [](Snapshot& s) { s.stopOnError = true; }},
        ReadRow{"BooleanTwoAndYesAreFalse",
                "<network usepassive='2'/><program savesettingsonexit='yes'/>",
                [](Snapshot& s) {
                    s.usePassive = false;
                    s.saveSettingsOnExit = false;
                }},
        ReadRow{"NumberWithTrailingLetters", "<image jpegquality='80abc'/>",
                [](Snapshot& s) { s.jpegQuality = 80; }},
        ReadRow{"EmptyNumberIsZero", "<network port=''/>", [](Snapshot& s) { s.port = 0; }},
        ReadRow{"EmptyElementWithQuotationMarks", "<image jpegquality=\"90\"/>",
                [](Snapshot& s) { s.jpegQuality = 90; }},
        ReadRow{"UnsignedReadBitForBit", "<image update='4294967295'/>",
                [](Snapshot& s) { s.update = 4294967295u; }},
        ReadRow{"NegativeNumber", "<capture devicenumber='-1'/>",
                [](Snapshot& s) { s.deviceNumber = -1; }},
        ReadRow{"AttributeNamesAreCaseSensitive", "<capture FPS='12' Maxfps='1'/>",
                [](Snapshot&) {}},
        ReadRow{"ElementNamesAreCaseSensitive", "<Image update='9'/>", [](Snapshot&) {}},
        ReadRow{"KeyOfAnotherSectionIsIgnored", "<image fps='12'/><network update='9'/>",
                [](Snapshot&) {}},
        ReadRow{"UnknownNamesAndTheRootAreIgnored",
                "<kavriwebcam version='9' fps='1'><camera fps='2'/>"
                "<capture colour='3' maxfps='45'/></kavriwebcam>",
                [](Snapshot& s) { s.maxFps = 45; }},
        ReadRow{"NetworkWithoutPasswordKeepsIt", "<network host='ftp.local' user='me'/>",
                [](Snapshot& s) {
                    s.host = "ftp.local";
                    s.user = "me";
                }},
        ReadRow{
            "LaterSectionWins",
            "<kavriwebcam><image update='7' jpegquality='50'/><image update='9'/></kavriwebcam>",
            [](Snapshot& s) {
                s.update = 9;
                s.jpegQuality = 50;
            }},
        ReadRow{"SectionInsideAnotherSection",
                "<kavriwebcam><program><network port='2121'/></program></kavriwebcam>",
                [](Snapshot& s) { s.port = 2121; }},
        ReadRow{"TextReferencesAreUndone", "<image textoverlay='a&#39;b&#10;&amp;'/>",
                [](Snapshot& s) { s.textOverlay = "a'b\n&amp;"; }},
        ReadRow{"BrokenFileAppliesWhatWasParsed",
                "<kavriwebcam>\r\n  <image update='7' jpegquality='55'\r\n  >\r\n"
                "  <network port=2121 host='h'",
                // The unquoted port is kept with an empty value, which reads as 0; the
                // rest of that tag is lost.
                [](Snapshot& s) {
                    s.update = 7;
                    s.jpegQuality = 55;
                    s.port = 0;
                }}),
    [](const testing::TestParamInfo<ReadRow>& info) { return std::string(info.param.name); });

} // namespace
