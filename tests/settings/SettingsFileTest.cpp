#include "settings/SettingsFile.h"

#include "res/Version.h"
#include "settings/Settings.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/HeldSettings.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

using namespace std::string_literals;

namespace {

// The keys that take any value of their kind, the first rows of the table: the designed
// file's and the live view's. The picture and schedule elements follow them.
constexpr std::size_t freeKeys = 31;

class SettingsFileTest : public testing::Test {
protected:
    void reset() const {
        for (const Setting& setting : settingsTable()) {
            setting.set(holders, initial.at(settingName(setting)));
        }
    }
    std::size_t entries() const {
        const std::filesystem::directory_iterator all(dir.path());
        return static_cast<std::size_t>(std::distance(begin(all), end(all)));
    }

    SettingsSnapshot keepSettings;
    TempDir dir;
    HeldSettings held;
    const SettingsHolders holders = held.holders();
    const std::string fileName = dir.file("kavriWebCam.ini");
    const SettingsByKey initial = settingsByKey(holders);
};

// A value of each alternative of SettingValue, in order, with its written form; the
// password is shifted as well.
// clang-format off
const std::vector<std::pair<SettingValue, std::string>> samples{
    {true, "1"}, {std::int32_t{-17}, "-17"}, {std::uint32_t{16777215}, "16777215"},
    {"it's\r\n<b>\"&#39;"s, "it&#39;s&#13;&#10;<b>\"&#38;#39;"}, {"mossyharbor"s, "nnstxibranr"}};
// clang-format on

// The file a first save writes: the designed defaults, typed out.
// clang-format off
const char* const defaultFile = "<kavriwebcam version='1.2.99'>\r\n"
    "  <program\r\n    savesettingsonexit = '1'\r\n    windowzoom = '3'\r\n"
    "    windowpositionX = '0'\r\n    windowpositionY = '0'\r\n  >\r\n  </program>\r\n"
    "  <capture\r\n    fps = '30'\r\n    maxfps = '30'\r\n    devicename = ''\r\n"
    "    devicenumber = '0'\r\n  >\r\n  </capture>\r\n"
    "  <image\r\n    jpegfile = 'image.jpg'\r\n    jpegquality = '70'\r\n    update = '5'\r\n"
    "    datetimeoverlay = '1'\r\n    textoverlay = ''\r\n    textcolor = '53771'\r\n"
    "    backcolor = '0'\r\n  >\r\n  </image>\r\n"
    "  <network\r\n    host = 'ftp.example.com'\r\n    port = '21'\r\n"
    "    saveto = 'public_html/image.jpg'\r\n    user = 'theusername'\r\n"
    "    password = 'nnstxibranr'\r\n    active = '1'\r\n    stoponerror = '0'\r\n"
    "    usepassive = '1'\r\n  >\r\n  </network>\r\n"
    "</kavriwebcam>\r\n";
// clang-format on

TEST_F(SettingsFileTest, SaveReplacesTheOldFileWithThirtySevenPrivateLines) {
    saveSettingsFile(holders, fileName);
    // The designed lines, in their order; the elements of later settings stand between the
    // last designed element and the end of the file.
    const std::string saved = readBytes(fileName);
    const std::string lastLine = "</kavriwebcam>\r\n";
    const std::string designedFile = defaultFile;
    const std::string designedHead = designedFile.substr(0, designedFile.size() - lastLine.size());
    EXPECT_EQ(saved.substr(0, designedHead.size()), designedHead);
    EXPECT_TRUE(saved.ends_with("  </archive>\r\n" + lastLine)) << saved;
    std::ofstream(fileName) << std::string(10000, 'x');
    std::filesystem::permissions(fileName, std::filesystem::perms(0644));
    const auto sampled = settingsTable().first(freeKeys);
    for (const Setting& setting : sampled) {
        setting.set(holders, samples.at(setting.get(holders).index()).first);
    }
    Settings::setPassword("mossyharbor");
    Settings::setLivePassword("mossyharbor");
    std::string expected = "<kavriwebcam version='" KAVRI_VERSION "'>\r\n";
    std::string_view section;
    for (const Setting& setting : sampled) {
        if (setting.section != section) {
            expected += section.empty() ? "" : "  >\r\n  </" + std::string(section) + ">\r\n";
            section = setting.section;
            expected += "  <" + std::string(section) + "\r\n";
        }
        const auto sample = std::find_if(samples.begin(), samples.end(), [&](const auto& s) {
            return s.first == setting.get(holders);
        });
        expected += "    " + std::string(setting.key) + " = '" + sample->second + "'\r\n";
    }
    const std::string pictureAndSchedule =
        "  <picture\r\n    crop = ''\r\n    rotate = '0'\r\n    flip = '0'\r\n"
        "    width = '0'\r\n    textsize = '0'\r\n    corner = '0'\r\n"
        "    dateformat = '%d.%m.%Y'\r\n  >\r\n  </picture>\r\n"
        "  <schedule\r\n    mode = '0'\r\n    from = '07:00'\r\n    to = '19:00'\r\n"
        "    latitude = '0'\r\n    longitude = '0'\r\n    days = '1111100'\r\n"
        "  >\r\n  </schedule>\r\n";
    const std::string archive =
        "  <archive\r\n    active = '0'\r\n    pattern = 'archive/%Y-%m-%d/%H%M%S.jpg'\r\n"
        "    keepdays = '7'\r\n    keepmb = '0'\r\n    remote = ''\r\n    timelapse = '0'\r\n"
        "    fps = '25'\r\n    crf = '23'\r\n    video = 'archive/%Y-%m-%d.mp4'\r\n"
        "  >\r\n  </archive>\r\n";
    expected += "  >\r\n  </liveview>\r\n" + pictureAndSchedule + archive + "</kavriwebcam>\r\n";
    Settings::setPictureDateFormat("%d.%m.%Y");
    Settings::setScheduleDays("1111100");
    Settings::setArchiveKeepDays(7);

    saveSettingsFile(holders, fileName);
    const std::string written = readBytes(fileName);
    EXPECT_EQ(written, expected);
    // The designed 37 lines, then the live view's element, the picture's, the schedule's and
    // the archive's.
    const std::string text = "'it&#39;s&#13;&#10;<b>\"&#38;#39;'\r\n";
    // clang-format off
    const std::string liveView = "  <liveview\r\n    active = '1'\r\n    address = " + text +
        "    port = '16777215'\r\n    user = " + text + "    password = 'nnstxibranr'\r\n    certfile = " +
        text + "    keyfile = " + text + "    viewers = '-17'\r\n  >\r\n  </liveview>\r\n";
    // clang-format on
    const std::size_t liveAt = written.find("  <liveview\r\n");
    EXPECT_EQ(written.substr(liveAt),
              liveView + pictureAndSchedule + archive + "</kavriwebcam>\r\n");
    EXPECT_EQ(std::count(written.begin(), written.begin() + liveAt, '\n'), 36);
    EXPECT_EQ(written.substr(liveAt - 14, 14), "  </network>\r\n");
    EXPECT_EQ(std::filesystem::status(fileName).permissions(), std::filesystem::perms(0600));
    EXPECT_EQ(entries(), 1u);

    // A write that fails (a full disk) leaves the old file whole and no unfinished one.
    held.deviceName = std::string(200, 'd');
    {
        FileSizeLimit limit(100);
        saveSettingsFile(holders, fileName);
    }
    EXPECT_EQ(readBytes(fileName), written);
    EXPECT_EQ(entries(), 1u);
}

// Each camera's own settings follow the table's elements as an element of their own, and read
// back; an element without a card name is nobody's.
TEST_F(SettingsFileTest, CamerasFollowTheDesignedLinesAndReadBack) {
    saveSettingsFile(holders, fileName);
    const std::string designed = readBytes(fileName);
    const RememberedCamera hd{
        {"HD Cam", "usb-1", "usb-HD_Cam_42-video-index0"}, 640, 480, {{9963776, -5}, {9963800, 1}}};
    const std::vector<RememberedCamera> cameras{hd, {{"It's", "", ""}, 0, 0, {}}};
    Settings::setCameras(cameras);
    saveSettingsFile(holders, fileName);
    const std::string written = readBytes(fileName);
    const std::string end = "</kavriwebcam>\r\n";
    EXPECT_EQ(written, designed.substr(0, designed.size() - end.size()) +
                           "  <camera\r\n    card = 'HD Cam'\r\n    bus = 'usb-1'\r\n"
                           "    byid = 'usb-HD_Cam_42-video-index0'\r\n    width = '640'\r\n"
                           "    height = '480'\r\n    controls = '9963776:-5 9963800:1'\r\n"
                           "  >\r\n  </camera>\r\n  <camera\r\n    card = 'It&#39;s'\r\n"
                           "    bus = ''\r\n    byid = ''\r\n    width = '0'\r\n"
                           "    height = '0'\r\n    controls = ''\r\n  >\r\n  </camera>\r\n" +
                           end);
    Settings::setCameras({});
    std::ofstream(fileName, std::ios::binary)
        << written.substr(0, written.size() - end.size()) << "<camera width='5'/>" << end;
    loadSettingsFile(holders, fileName);
    EXPECT_EQ(Settings::getCameras(), cameras);
}

// Random values of every kind, the texts weighted towards the bytes the file's form has to
// carry and long enough that the file spans several reads.
TEST_F(SettingsFileTest, RandomValuesOfEverySettingReadBack) {
    loadSettingsFile(holders, fileName);
    EXPECT_EQ(settingsByKey(holders), initial) << "a missing file changes nothing";
    std::mt19937 random(20261207);
    const std::string special = "&#;0123456789'\"<>\r\n\x01\x7f\xff a";
    for (int round = 0; round < 60; ++round) {
        // The new elements take only values in their ranges; their rows below read them.
        for (const Setting& setting : settingsTable().first(freeKeys)) {
            const std::uint32_t r = random();
            std::string text(r % 300, 'x');
            for (char& c : text) {
                const std::uint32_t b = random();
                c = b % 2 ? special[(b >> 1) % special.size()] : static_cast<char>(1 + b % 255);
            }
            const SettingValue values[] = {r % 2 == 0, static_cast<std::int32_t>(r), r, text};
            setting.set(holders, values[setting.get(holders).index()]);
        }
        const SettingsByKey saved = settingsByKey(holders);
        saveSettingsFile(holders, fileName);
        reset();
        loadSettingsFile(holders, fileName);
        ASSERT_EQ(settingsByKey(holders), saved) << readBytes(fileName);
    }
}

std::string repeated(const std::string& part, std::size_t count) {
    std::ostringstream text;
    std::fill_n(std::ostream_iterator<std::string>(text), count, part);
    return text.str();
}

// Hand-written files and the values they change ("key=value|...").
TEST_F(SettingsFileTest, HandWrittenFilesChangeExactlyWhatTheySay) {
    testing::internal::CaptureStderr();
    // clang-format off
    for (const auto& [document, changes] : std::vector<std::pair<std::string, std::string>>{
             // Every section of the root is read, and nothing after it.
             {"<kavriwebcam version='1.0'>\r\n  <program\r\n    windowpositionX = '5'\r\n  >\r\n"
              "  </program>\r\n  <capture fps = '12'\r\n  >\r\n  </ capture >\r\n"
              "  <image\r\n    update = '7'\r\n  >\r\n  </x>\r\n</kavriwebcam>\r\n<network port='1'/>",
              "windowpositionX=5|fps=12|update=7"},
             // Colours are unpacked, and only the number 1 is true.
             {"<image textcolor='-1' backcolor='53771'/><network active='true' "
              "stoponerror=' 1' usepassive='2'/><program savesettingsonexit='yes'/>",
              "textcolor=0xFFFFFF|backcolor=0xD20B|active=0|stoponerror=1|usepassive=0|savesettingsonexit=0"},
             // Numbers read the way atoi reads, keeping 32 bits.
             {"<image jpegquality='80abc' update='4294967295'/><network port=''/>"
              "<capture devicenumber='-1' maxfps='99999999999999999999'/>"
              "<program windowpositionX='\t-2147483648' windowpositionY='+7'/>",
              "jpegquality=80|update=4294967295|port=0|devicenumber=-1|maxfps=1661992959|"
              "windowpositionX=-2147483648|windowpositionY=7"},
             // Both quotes; only the references the writer makes are undone; names are exact.
             {"<image jpegquality=\"90\" textoverlay='a&#39;b&#039;&#10;&amp;&#0039;&#256;' "
              "jpegfile='\"a\".jpg'/><kavriwebcam fps='1'><camera fps='2'/><capture FPS='3' "
              "maxfps='45'/><Image update='9'/><image fps='12'/></kavriwebcam>",
              "jpegquality=90|textoverlay=a'b'\n&amp;&#0039;&#256;|jpegfile=\"a\".jpg|maxfps=45"},
             // The later value wins wherever its section stands; comments, declarations and
             // character data are skipped.
             {"<?xml version='1.0'?><!DOCTYPE k [ <!ELEMENT k ANY> ]><kavriwebcam><image "
              "update='7' jpegquality='50'/><program><image update='8' update='9'/></program>"
              "<!-- was > <image update='1'/> -- --><![CDATA[ <image update='2'/> ]] ]]></kavriwebcam>",
              "update=9|jpegquality=50"},
             {"</kavriwebcam><image update='9'/>", ""},
             // A broken file applies what was parsed: the unquoted port is kept with an empty
             // value, the rest of that tag is lost.
             {"<kavriwebcam>\r\n  <image update='7' jpegquality='55'\r\n  >\r\n  <network port=2121 host='h'",
              "update=7|jpegquality=55|port=0"},
             // Overlong runs are cut and reading goes on.
             {std::string(40000, 't') + "<image jpegfile='" + std::string(3000, 'v') +
                  "' update='7'/><" + std::string(300, 'n') + " x='1'/><network port='5'/>",
              "jpegfile=" + std::string(2047, 'v') + "|update=7|port=5"},
             {repeated("<a>", 1'000'000) + "<image update='7'/>" + repeated("</a>", 1'000'000), "update=7"},
             // The picture and schedule elements, in their ranges.
             {"<picture crop='0,8,320,200' rotate='270' flip='2' width='640' textsize='50' "
              "corner='3' dateformat='%F &#38; %T'/><schedule mode='3' from='22:30' to='06:00' "
              "latitude='-33.87' longitude='151.2' days='0000011'/>",
              "crop=0,8,320,200|rotate=270|flip=2|width=640|textsize=50|corner=3|"
              "dateformat=%F & %T|mode=3|from=22:30|to=06:00|latitude=-33.87|longitude=151.2|days=0000011"},
             // Out of their ranges, each left out with a line on standard error.
             {"<picture crop='0,8,0,200' rotate='45' flip='3' width='100000' textsize='-1' "
              "corner='4'/><schedule mode='9' from='24:00' to='7:00' latitude='95' "
              "longitude='1e2' days='0000000' width='5'/>", ""}}) {
        // clang-format on
        std::ofstream(fileName, std::ios::binary) << document;
        SettingsByKey expected = initial;
        for (const auto& [key, value] : parseSettings(changes)) {
            expected[key] = value;
        }
        loadSettingsFile(holders, fileName);
        EXPECT_EQ(settingsByKey(holders), expected) << document.substr(0, 200);
        reset();
    }
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 12) << told;
    EXPECT_NE(told.find("kavriWebCam: settings file: schedule latitude '95' ignored\n"),
              std::string::npos)
        << told;
}

} // namespace
