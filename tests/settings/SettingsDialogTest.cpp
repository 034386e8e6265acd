#include "settings/FtpSettingsDialog.h"
#include "settings/ImageSettingsDialog.h"
#include "settings/PreviewSettingsDialog.h"

#include "platform/ErrorBox.h"
#include "settings/SettingsTable.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/HeldSettings.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

namespace image = imageSettingsItem;
namespace ftp = ftpSettingsItem;

using Changes = std::vector<std::pair<std::string, SettingValue>>;

// Settings given before the dialog opens, what is typed and ticked, the buttons pressed in
// turn, and what the dialog then stored (by the keys of the settings file). A dialog left
// open after OK must have refused the file name in an error box.
// File names not starting with "/" lie in a temporary directory that holds a file
// "file.jpg", a directory "dir.jpg" and a FIFO "fifo.jpg"; a leading "*" there stands for
// as many "n" as bring the whole name to 78 bytes.
struct DialogCase {
    const char* name;
    bool (*procedure)(DialogHost&, DialogMessage, int);
    Changes given;
    std::map<int, std::string> typed;
    std::map<int, bool> ticked;
    std::vector<int> commands;
    std::optional<int> ended;
    Changes stored;
};

void PrintTo(const DialogCase& row, std::ostream* out) {
    *out << row.name;
}

const Setting& setting(const std::string& key) {
    for (const Setting& setting : settingsTable()) {
        if (setting.key == key) {
            return setting;
        }
    }
    throw std::invalid_argument(key);
}

class SettingsDialogTest : public testing::TestWithParam<DialogCase> {
protected:
    void SetUp() override {
        std::ofstream(inDir("file.jpg")) << "old picture";
        std::filesystem::create_directory(inDir("dir.jpg"));
        ASSERT_EQ(::mkfifo(inDir("fifo.jpg").c_str(), 0666), 0);
        previousSink = setErrorBoxSink(
            [this](const std::string&, const std::string& text) { boxes.push_back(text); });
    }
    void TearDown() override { setErrorBoxSink(previousSink); }

    std::string inDir(const std::string& name) const {
        if (name.empty() || name.front() == '/') {
            return name;
        }
        const std::string prefix = dir.path().string() + "/";
        if (name.front() == '*') {
            return prefix + std::string(78 - prefix.size(), 'n') + name.substr(1);
        }
        return prefix + name;
    }
    SettingValue value(const std::string& key, const SettingValue& value) const {
        return key == "jpegfile" ? inDir(std::get<std::string>(value)) : value;
    }
    std::map<std::string, SettingValue> now() const { return settingsByKey(holders); }

    SettingsSnapshot keepSettings;
    TempDir dir;
    HeldSettings held;
    const SettingsHolders holders = held.holders();
    FakeDialogHost dialog;
    std::vector<std::string> boxes;
    ErrorBoxSink previousSink;
};

TEST_P(SettingsDialogTest, StoresWhatItsRowSays) {
    const DialogCase& row = GetParam();
    for (const auto& [key, given] : row.given) {
        setting(key).set(holders, value(key, given));
    }
    auto expected = now();
    for (const auto& [key, stored] : row.stored) {
        expected[key] = value(key, stored);
    }

    dialog.open(row.procedure);
    for (const auto& [itemId, text] : row.typed) {
        dialog.texts[itemId] = row.procedure == imageSettingsDialogProc && itemId == image::jpegFile
                                   ? inDir(text)
                                   : text;
    }
    for (const auto& [itemId, ticked] : row.ticked) {
        dialog.checks[itemId] = ticked;
    }
    for (const int command : row.commands) {
        dialog.press(row.procedure, command);
    }

    EXPECT_EQ(dialog.endResult, row.ended);
    EXPECT_EQ(now(), expected);
    const bool refused = !row.ended && row.commands.front() == dialogOk;
    EXPECT_EQ(boxes, refused ? std::vector{"::Illegal filename::\n\n   " +
                                           inDir(row.typed.at(image::jpegFile))}
                             : std::vector<std::string>{});
    std::ifstream in(inDir("file.jpg"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old picture");
    if (row.ended == dialogOk && row.procedure == imageSettingsDialogProc) {
        EXPECT_TRUE(std::filesystem::is_regular_file(std::get<std::string>(expected["jpegfile"])))
            << "the file name is taken";
    }
}

const Changes imageGiven{{"jpegquality", 75u},       {"update", 5u},
                         {"jpegfile", "old.jpg"s},   {"datetimeoverlay", true},
                         {"textoverlay", "Garden"s}, {"textcolor", 0x030201u},
                         {"backcolor", 0x060504u}};

DialogCase imageRow(const char* name, std::map<int, std::string> typed, std::vector<int> commands,
                    std::optional<int> ended, Changes stored) {
    return {name, imageSettingsDialogProc, imageGiven, std::move(typed),
            {},   std::move(commands),     ended,      std::move(stored)};
}

const std::map<int, std::string> everyImageItem{
    {image::quality, "90"},       {image::update, "60"},
    {image::jpegFile, "new.jpg"}, {image::textRed, "10"},
    {image::textGreen, "20"},     {image::textBlue, "30"},
    {image::backRed, "40"},       {image::backGreen, "50"},
    {image::backBlue, "60"},      {image::textOverlay, "Bird feeder"}};

INSTANTIATE_TEST_SUITE_P(
    Image, SettingsDialogTest,
    testing::Values(
        DialogCase{"OkStoresEveryItem",
                   imageSettingsDialogProc,
                   imageGiven,
                   everyImageItem,
                   {{image::dateTimeOverlay, false}},
                   {dialogOk},
                   dialogOk,
                   {{"jpegquality", 90u},
                    {"update", 60u},
                    {"jpegfile", "new.jpg"s},
                    {"datetimeoverlay", false},
                    {"textoverlay", "Bird feeder"s},
                    {"textcolor", 10u + 20u * 256 + 30u * 65536},
                    {"backcolor", 40u + 50u * 256 + 60u * 65536}}},
        imageRow("OkWithoutEditsStoresWhatItShowed", {}, {dialogOk}, dialogOk, {}),
        imageRow("NumbersAreHeldInTheirRanges",
                 {{image::quality, "150"},
                  {image::update, "0"},
                  {image::textRed, "300"},
                  {image::textGreen, ""},
                  {image::textBlue, "4294967295"},
                  {image::backRed, "-2"},
                  {image::backGreen, " 42 "},
                  {image::backBlue, "99999999999"}},
                 {dialogOk}, dialogOk,
                 {{"jpegquality", 100u},
                  {"update", 1u},
                  {"textcolor", 255u + 255u * 65536},
                  {"backcolor", 42u * 256 + 255u * 65536}}),
        imageRow("TextsThatAreNoNumbers",
                 {{image::quality, "high"}, {image::update, "99999999999"}}, {dialogOk}, dialogOk,
                 {{"jpegquality", 0u}, {"update", 4294967u}}),
        imageRow("TextsAreCutWithoutSplittingACharacter",
                 {{image::textOverlay, std::string(37, 'a') + "\xE2\x82\xAC" + "z"},
                  {image::jpegFile, "*\xC3\xA9.jpg"}},
                 {dialogOk}, dialogOk, {{"textoverlay", std::string(37, 'a')}, {"jpegfile", "*"s}}),
        imageRow("ExistingFileIsTakenAsItIs", {{image::jpegFile, "file.jpg"}}, {dialogOk}, dialogOk,
                 {{"jpegfile", "file.jpg"s}}),
        imageRow("MissingDirectoryIsRefusedAfterTheOtherValues",
                 {{image::quality, "33"}, {image::jpegFile, "missing/cam.jpg"}}, {dialogOk},
                 std::nullopt, {{"jpegquality", 33u}}),
        imageRow("EmptyNameIsRefused", {{image::jpegFile, ""}}, {dialogOk}, std::nullopt, {}),
        imageRow("DirectoryIsRefused", {{image::jpegFile, "dir.jpg"}}, {dialogOk}, std::nullopt,
                 {}),
        imageRow("FifoIsRefusedWithoutWaitingForAWriter", {{image::jpegFile, "fifo.jpg"}},
                 {dialogOk}, std::nullopt, {}),
        imageRow("ApplyStoresAndCancelThenKeepsIt", {{image::update, "30"}},
                 {dialogApply, dialogCancel}, dialogCancel, {{"update", 30u}}),
        imageRow("CancelStoresNothing", everyImageItem, {dialogCancel}, dialogCancel, {}),
        imageRow("CheckBoxClickIsNoCommand", everyImageItem, {image::dateTimeOverlay}, std::nullopt,
                 {})),
    [](const auto& info) { return std::string(info.param.name); });

const Changes ftpGiven{{"port", 2121u},         {"active", true},      {"stoponerror", false},
                       {"usepassive", true},    {"host", "ftp.test"s}, {"saveto", "cam/now.jpg"s},
                       {"password", "secret"s}, {"user", "watcher"s}};
const std::map<int, std::string> everyFtpText{{ftp::port, "990"},
                                              {ftp::host, "h"},
                                              {ftp::saveTo, "s"},
                                              {ftp::password, "p\x01\xFF"},
                                              {ftp::user, "u"}};
const std::map<int, bool> everyFtpCheck{
    {ftp::active, false}, {ftp::stopOnError, true}, {ftp::usePassive, false}};

DialogCase ftpRow(const char* name, std::map<int, std::string> typed, std::map<int, bool> ticked,
                  int command, Changes stored) {
    return {
        name,    ftpSettingsDialogProc, ftpGiven, std::move(typed), std::move(ticked), {command},
        command, std::move(stored)};
}

INSTANTIATE_TEST_SUITE_P(
    Ftp, SettingsDialogTest,
    testing::Values(ftpRow("OkStoresEveryItem", everyFtpText, everyFtpCheck, dialogOk,
                           {{"port", 990u},
                            {"active", false},
                            {"stoponerror", true},
                            {"usepassive", false},
                            {"host", "h"s},
                            {"saveto", "s"s},
                            {"password", "p\x01\xFF"s},
                            {"user", "u"s}}),
                    ftpRow("OkWithoutEditsStoresWhatItShowed", {}, {}, dialogOk, {}),
                    ftpRow("PortAndTextsAsTypedUpTo79Bytes",
                           {{ftp::port, "4294967296"},
                            {ftp::host, std::string(79, 'k') + "dd"},
                            {ftp::saveTo, std::string(77, 'k') + "\xE2\x82\xAC"},
                            {ftp::password, std::string(100, 'p')},
                            {ftp::user, ""}},
                           {}, dialogOk,
                           {{"port", 4294967295u},
                            {"host", std::string(79, 'k')},
                            {"saveto", std::string(77, 'k')},
                            {"password", std::string(79, 'p')},
                            {"user", ""s}}),
                    ftpRow("CancelStoresNothing", everyFtpText, everyFtpCheck, dialogCancel, {})),
    [](const auto& info) { return std::string(info.param.name); });

DialogCase previewRow(const char* name, std::int32_t maxFps, const char* typed, int command,
                      std::int32_t stored) {
    return {name,
            previewSettingsDialogProc,
            {{"fps", 7}, {"maxfps", maxFps}},
            {{previewSettingsItem::fps, typed}},
            {},
            {command},
            command,
            {{"fps", stored}}};
}

INSTANTIATE_TEST_SUITE_P(
    Preview, SettingsDialogTest,
    testing::Values(previewRow("AboveMaxIsMax", 30, "45", dialogOk, 30),
                    previewRow("InRangeStays", 30, "15", dialogOk, 15),
                    previewRow("NoNumberIs1", 30, "fast", dialogOk, 1),
                    previewRow("MaxFps0MakesAnyEntry1", 0, "45", dialogOk, 1),
                    // maxfps -1 from the settings file compares as the largest unsigned.
                    previewRow("NegativeMaxFpsIsNoLimit", -1, "500", dialogOk, 500),
                    previewRow("CancelKeepsTheRate", 30, "5", dialogCancel, 7),
                    DialogCase{"OkWithoutEditsStoresWhatItShowed",
                               previewSettingsDialogProc,
                               {{"fps", 12}, {"maxfps", 30}},
                               {},
                               {},
                               {dialogOk},
                               dialogOk,
                               {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
