#include "settings/SettingsFile.h"

#include "res/Version.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/HeldSettings.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

// Every value the settings file holds, by key, wherever it is kept.
using Values = std::map<std::string, SettingValue>;

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

std::size_t entriesIn(const std::filesystem::path& directory) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory),
                                                  std::filesystem::directory_iterator()));
}

// The store and the keys the main window and the capture object would hold, in a temporary
// directory. The store is process-wide: each test starts from what the process held and
// puts it back.
class SettingsFileTest : public testing::Test {
protected:
    void SetUp() override { initial = now(); }
    void TearDown() override { restore(initial); }

    Values now() const {
        Values values;
        for (const Setting& setting : settingsTable()) {
            values[std::string(setting.key)] = setting.get(holders);
        }
        return values;
    }
    void restore(const Values& values) const {
        for (const Setting& setting : settingsTable()) {
            setting.set(holders, values.at(std::string(setting.key)));
        }
    }
    void save() { saveSettingsFile(holders, fileName); }
    void load() { loadSettingsFile(holders, fileName); }
    // Saves, puts back the values the test started with, and loads again.
    void saveAndReload() {
        save();
        restore(initial);
        load();
    }

    TempDir dir;
    HeldSettings held;
    const SettingsHolders holders = held.holders();
    const std::string fileName = dir.file("kavriWebCam.ini");
    Values initial;
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
    held.deviceName = "Test Source";
    save();
    const std::string written = readFile(fileName);
    EXPECT_EQ(written, defaultsFile);
    EXPECT_EQ(countOf(written, "\r\n"), 37u);
}

TEST_F(SettingsFileTest, SignedAndUnsignedNumbersInPlainDecimal) {
    held.zoomIndex = 9;
    held.positionX = -17;
    held.positionY = 1050;
    held.deviceIndex = -1;
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

TEST_F(SettingsFileTest, SaveReplacesALongerFileMakesItPrivateAndLeavesNothingElse) {
    writeFile(fileName, std::string(10000, 'x'));
    std::filesystem::permissions(fileName, std::filesystem::perms(0644));
    held.deviceName = "Test Source";
    save();
    EXPECT_EQ(readFile(fileName), defaultsFile);
    EXPECT_EQ(std::filesystem::status(fileName).permissions(), std::filesystem::perms(0600))
        << "it holds the password";
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST_F(SettingsFileTest, FailedWriteLeavesTheOldFileWhole) {
    save();
    const std::string old = readFile(fileName);
    Settings::setJpegQuality(99);
    {
        FileSizeLimit limit(100);
        save();
    }
    EXPECT_EQ(readFile(fileName), old);
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "the unfinished file is removed";
}

TEST_F(SettingsFileTest, MissingDirectoryWritesNothingAndReportsNothing) {
    saveSettingsFile(holders, dir.file("missing/kavriWebCam.ini"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST_F(SettingsFileTest, ADirectoryInTheWayStaysAndNothingIsLeftBehind) {
    std::filesystem::create_directory(fileName);
    save();
    EXPECT_TRUE(std::filesystem::is_directory(fileName));
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST_F(SettingsFileTest, MissingFileChangesNothing) {
    load();
    EXPECT_EQ(now(), initial);
}

// A value of the same kind that differs from value.
SettingValue changed(const SettingValue& value) {
    struct Change {
        SettingValue operator()(bool on) const { return !on; }
        SettingValue operator()(std::int32_t number) const { return number + 5; }
        SettingValue operator()(std::uint32_t number) const { return number ^ 0xABCDEFu; }
        SettingValue operator()(const std::string& text) const { return text + " changed"; }
    };
    return std::visit(Change{}, value);
}

TEST_F(SettingsFileTest, EverySettingReadsBackWhatWasSaved) {
    for (const Setting& setting : settingsTable()) {
        setting.set(holders, changed(setting.get(holders)));
    }
    const Values saved = now();
    for (const auto& [key, value] : saved) {
        ASSERT_NE(value, initial.at(key)) << key << " was changed";
    }
    saveAndReload();
    EXPECT_EQ(now(), saved);
}

// Values that the file's form has to carry, given to every text setting at once.
struct TextValue {
    const char* name;
    std::string value;
};

void PrintTo(const TextValue& text, std::ostream* out) {
    *out << text.name;
}

class SettingsFileTextTest : public SettingsFileTest,
                             public testing::WithParamInterface<TextValue> {};

TEST_P(SettingsFileTextTest, EveryTextSettingReadsBackExactly) {
    for (const Setting& setting : settingsTable()) {
        if (setting.kind == SettingKind::Text || setting.kind == SettingKind::Password) {
            setting.set(holders, GetParam().value);
        }
    }
    const Values changed = now();
    save();
    const std::string written = readFile(fileName);
    EXPECT_EQ(countOf(written, "\r\n"), 37u);
    EXPECT_EQ(countOf(written, "\n"), 37u);
    EXPECT_EQ(countOf(written, "'"), 2u * (settingsTable().size() + 1))
        << "one pair for the version, one per key";
    restore(initial);
    load();
    EXPECT_EQ(now(), changed);
}

INSTANTIATE_TEST_SUITE_P(Values, SettingsFileTextTest,
                         testing::Values(TextValue{"Empty", ""},
                                         TextValue{"Apostrophes", "it's 'quoted'"},
                                         TextValue{"QuotationMarks", "say \"cheese\""},
                                         TextValue{"BothQuoteKinds", "'\"'\"'"},
                                         TextValue{"Markup", "<a b='c'/> </network>"},
                                         TextValue{"Ampersands", "Tom & Jerry &amp; &#"},
                                         TextValue{"LiteralReference", "&#39;"},
                                         TextValue{"LineEnds", "one\r\ntwo\nthree\r"},
                                         TextValue{"ControlBytes", "\x01\x02\t\x1b\x1f\x7f"},
                                         TextValue{"HighBytes", "caf\xc3\xa9 \x80\xfe\xff"},
                                         TextValue{"Injection", "x' password='stolen' y='"},
                                         TextValue{"Long", std::string(400, '\'')}),
                         [](const testing::TestParamInfo<TextValue>& info) {
                             return std::string(info.param.name);
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

// Hand-written files and the values they change, starting from those the test began with.
struct ReadRow {
    const char* name;
    std::string document;
    std::vector<std::pair<std::string, SettingValue>> changes;
};

void PrintTo(const ReadRow& row, std::ostream* out) {
    *out << row.name;
}

class SettingsFileReadTest : public SettingsFileTest,
                             public testing::WithParamInterface<ReadRow> {};

TEST_P(SettingsFileReadTest, AppliesExactlyWhatTheRulesSay) {
    writeFile(fileName, GetParam().document);
    Values expected = now();
    for (const auto& [key, value] : GetParam().changes) {
        ASSERT_TRUE(expected.contains(key)) << key;
        expected[key] = value;
    }
    load();
    EXPECT_EQ(now(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SettingsFileReadTest,
    testing::Values(
        ReadRow{"ColoursUnpacked",
                "<image textcolor='-1' backcolor='53771'/>",
                {{"textcolor", 0xFFFFFFu}, {"backcolor", std::uint32_t{11 + 210 * 256}}}},
        ReadRow{"OnlyTheNumberOneIsTrue",
                "<network active='true' stoponerror=' 1' usepassive='2'/>"
                "<program savesettingsonexit='yes'/>",
                {{"active", false},
                 {"stoponerror", true},
                 {"usepassive", false},
                 {"savesettingsonexit", false}}},
        ReadRow{"NumbersReadLikeAtoi",
                "<image jpegquality='80abc' update='4294967295'/><network port=''/>"
                "<capture devicenumber='-1'/>",
                {{"jpegquality", 80u},
                 {"update", 4294967295u},
                 {"port", 0u},
                 {"devicenumber", std::int32_t{-1}}}},
        ReadRow{"EmptyElementWithQuotationMarks",
                "<image jpegquality=\"90\"/>",
                {{"jpegquality", 90u}}},
        ReadRow{"NamesAreCaseSensitive", "<capture FPS='12' Maxfps='1'/><Image update='9'/>", {}},
        ReadRow{"KeyOfAnotherSectionIsIgnored", "<image fps='12'/><network update='9'/>", {}},
        ReadRow{"UnknownNamesAndTheRootAreIgnored",
                "<kavriwebcam version='9' fps='1'><camera fps='2'/>"
                "<capture colour='3' maxfps='45'/></kavriwebcam>",
                {{"maxfps", std::int32_t{45}}}},
        ReadRow{"NetworkWithoutPasswordKeepsIt",
                "<network host='ftp.local' user='me'/>",
                {{"host", "ftp.local"s}, {"user", "me"s}}},
        ReadRow{
            "LaterSectionWins",
            "<kavriwebcam><image update='7' jpegquality='50'/><image update='9'/></kavriwebcam>",
            {{"update", 9u}, {"jpegquality", 50u}}},
        ReadRow{"SectionInsideAnotherSection",
                "<kavriwebcam><program><network port='2121'/></program></kavriwebcam>",
                {{"port", 2121u}}},
        ReadRow{"TextReferencesAreUndone",
                "<image textoverlay='a&#39;b&#10;&amp;'/>",
                {{"textoverlay", "a'b\n&amp;"s}}},
        // The unquoted port is kept with an empty value, which reads as 0; the rest of that
        // tag is lost.
        ReadRow{"BrokenFileAppliesWhatWasParsed",
                "<kavriwebcam>\r\n  <image update='7' jpegquality='55'\r\n  >\r\n"
                "  <network port=2121 host='h'",
                {{"update", 7u}, {"jpegquality", 55u}, {"port", 0u}}}),
    [](const testing::TestParamInfo<ReadRow>& info) { return std::string(info.param.name); });

} // namespace
