#include "settings/SettingsFile.h"

#include "res/Version.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/HeldSettings.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::size_t entriesIn(const std::filesystem::path& directory) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory),
                                                  std::filesystem::directory_iterator()));
}

// The store and the keys the main window and the capture object would hold, in a temporary
// directory. The store is process-wide: each test puts back what the process held.
class SettingsFileTest : public testing::Test {
protected:
    void SetUp() override { initial = now(); }
    void TearDown() override { restore(initial); }

    Values now() const { return settingsByKey(holders); }
    void restore(const Values& values) const {
        for (const Setting& setting : settingsTable()) {
            setting.set(holders, values.at(std::string(setting.key)));
        }
    }
    void save() { saveSettingsFile(holders, fileName); }
    void load() { loadSettingsFile(holders, fileName); }

    TempDir dir;
    HeldSettings held;
    const SettingsHolders holders = held.holders();
    const std::string fileName = dir.file("kavriWebCam.ini");
    Values initial;
};

// A value of each alternative, in the order of SettingValue's, and the form files of every
// version have given it; then the password, which is shifted as well.
const std::vector<std::pair<SettingValue, std::string>> samples{
    {true, "1"},
    {std::int32_t{-17}, "-17"},
    {std::uint32_t{16777215}, "16777215"},
    {"it's\r\n<b>\"&#39;"s, "it&#39;s&#13;&#10;<b>\"&#38;#39;"},
    {"mossyharbor"s, "nnstxibranr"},
};

TEST_F(SettingsFileTest, SaveWritesTheThirtySevenLinesPrivatelyInPlaceOfTheOldFile) {
    writeFile(fileName, std::string(10000, 'x'));
    std::filesystem::permissions(fileName, std::filesystem::perms(0644));
    std::string expected = "<kavriwebcam version='" KAVRI_VERSION "'>\r\n";
    std::string section;
    const auto closeSection = [&] { expected += "  >\r\n  </" + section + ">\r\n"; };
    for (const Setting& setting : settingsTable()) {
        setting.set(holders, samples.at(setting.get(holders).index()).first);
    }
    Settings::setPassword("mossyharbor");
    for (const Setting& setting : settingsTable()) {
        const SettingValue value = setting.get(holders);
        const auto sample = std::find_if(samples.begin(), samples.end(),
                                         [&](const auto& s) { return s.first == value; });
        if (setting.section != section) {
            if (!section.empty()) {
                closeSection();
            }
            section = setting.section;
            expected += "  <" + section + "\r\n";
        }
        expected += "    " + std::string(setting.key) + " = '" + sample->second + "'\r\n";
    }
    closeSection();
    expected += "</kavriwebcam>\r\n";

    save();
    const std::string written = readFile(fileName);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 37);
    EXPECT_EQ(std::filesystem::status(fileName).permissions(), std::filesystem::perms(0600))
        << "it holds the password";
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST_F(SettingsFileTest, FailedWriteLeavesTheOldFileWhole) {
    save();
    const std::string old = readFile(fileName);
    held.deviceName = std::string(200, 'd');
    {
        FileSizeLimit limit(100);
        save();
    }
    EXPECT_EQ(readFile(fileName), old);
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "the unfinished file is removed";
}

TEST_F(SettingsFileTest, MissingFileChangesNothing) {
    load();
    EXPECT_EQ(now(), initial);
}

// Random values of every kind, the texts weighted towards the bytes the file's form has to
// carry and long enough that the file spans several reads.
TEST_F(SettingsFileTest, RandomValuesOfEverySettingReadBack) {
    std::mt19937 random(20261207);
    const std::string special = "&#;0123456789'\"<>\r\n\x01\x7f\xff a";
    std::uniform_int_distribution<std::size_t> length(0, 300);
    std::uniform_int_distribution<std::uint32_t> bits;
    const auto randomText = [&] {
        std::string text(length(random), 'x');
        for (char& c : text) {
            const std::uint32_t r = bits(random);
            c = r % 2 == 0 ? special[(r >> 1) % special.size()] : static_cast<char>(1 + r % 255);
        }
        return text;
    };
    for (int round = 0; round < 60; ++round) {
        for (const Setting& setting : settingsTable()) {
            const std::uint32_t r = bits(random);
            switch (setting.kind) {
            case SettingKind::Bool:
                setting.set(holders, r % 2 == 0);
                break;
            case SettingKind::Signed:
                setting.set(holders, static_cast<std::int32_t>(r));
                break;
            case SettingKind::Unsigned:
                setting.set(holders, r);
                break;
            case SettingKind::Text:
            case SettingKind::Password:
                setting.set(holders, randomText());
                break;
            }
        }
        const Values saved = now();
        save();
        restore(initial);
        load();
        ASSERT_EQ(now(), saved) << "file:\n" << readFile(fileName);
    }
}

// Hand-written files and the values they change.
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

std::string repeated(const std::string& part, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SettingsFileReadTest,
    testing::Values(
        ReadRow{"EverySectionOfTheRootIsReadAndNothingAfterIt",
                "<kavriwebcam version='1.0'>\r\n  <program\r\n    windowpositionX = '5'\r\n  >\r\n"
                "  </program>\r\n  <capture fps = '12'\r\n  >\r\n  </ capture >\r\n"
                "  <image\r\n    update = '7'\r\n  >\r\n  </x>\r\n</kavriwebcam>\r\n"
                "<network port='1'/>",
                {{"windowpositionX", 5}, {"fps", 12}, {"update", 7u}}},
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
        ReadRow{"NumbersReadLikeAtoiWithThirtyTwoBits",
                "<image jpegquality='80abc' update='4294967295'/><network port=''/>"
                "<capture devicenumber='-1' maxfps='99999999999999999999'/>"
                "<program windowpositionX='\t-2147483648' windowpositionY='+7'/>",
                {{"jpegquality", 80u},
                 {"update", 4294967295u},
                 {"port", 0u},
                 {"devicenumber", -1},
                 {"maxfps", 1661992959},
                 {"windowpositionX", INT32_MIN},
                 {"windowpositionY", 7}}},
        ReadRow{"BothQuoteKinds",
                "<image jpegquality=\"90\" textoverlay = \"it's\" jpegfile='\"a\".jpg'/>",
                {{"jpegquality", 90u}, {"textoverlay", "it's"s}, {"jpegfile", "\"a\".jpg"s}}},
        ReadRow{"OnlyExactSectionsAndKeysCount",
                "<kavriwebcam version='9' fps='1'><camera fps='2'/><capture FPS='3' maxfps='45'/>"
                "<Image update='9'/><image fps='12'/><network host='ftp.local'/></kavriwebcam>",
                {{"maxfps", 45}, {"host", "ftp.local"s}}},
        ReadRow{"LaterValueWinsWhereverItsSectionStands",
                "<kavriwebcam><image update='7' jpegquality='50'/><program><image update='8' "
                "update='9'/></program></kavriwebcam>",
                {{"update", 9u}, {"jpegquality", 50u}}},
        ReadRow{"TextReferencesAreUndone",
                "<image textoverlay='a&#39;b&#039;&#10;&amp;&#0039;&#256;'/>",
                {{"textoverlay", "a'b'\n&amp;&#0039;&#256;"s}}},
        ReadRow{"CommentsDeclarationsAndCdataAreSkipped",
                "<?xml version='1.0'?><!DOCTYPE k [ <!ELEMENT k ANY> ]><kavriwebcam>"
                "<!-- was > <image update='1'/> -- --><![CDATA[ <image update='2'/> ]] ]]>"
                "<image update='3'/></kavriwebcam>",
                {{"update", 3u}}},
        ReadRow{"StrayEndTagEndsTheFile", "</kavriwebcam><image update='9'/>", {}},
        // The unquoted port is kept with an empty value, which reads as 0; the rest of that
        // tag is lost.
        ReadRow{"BrokenFileAppliesWhatWasParsed",
                "<kavriwebcam>\r\n  <image update='7' jpegquality='55'\r\n  >\r\n"
                "  <network port=2121 host='h'",
                {{"update", 7u}, {"jpegquality", 55u}, {"port", 0u}}},
        ReadRow{"OverlongRunsAreCutAndReadingGoesOn",
                std::string(40000, 't') + "<image jpegfile='" + std::string(3000, 'v') +
                    "' update='7'/><" + std::string(300, 'n') + " x='1'/><network port='5'/>",
                {{"jpegfile", std::string(2047, 'v')}, {"update", 7u}, {"port", 5u}}},
        ReadRow{"AMillionNestedElements",
                repeated("<a>", 1'000'000) + "<image update='7'/>" + repeated("</a>", 1'000'000),
                {{"update", 7u}}}),
    [](const testing::TestParamInfo<ReadRow>& info) { return std::string(info.param.name); });

} // namespace
