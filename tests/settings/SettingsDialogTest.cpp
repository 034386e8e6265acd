#include "settings/FtpSettingsDialog.h"
#include "settings/ImageSettingsDialog.h"
#include "settings/PreviewSettingsDialog.h"

#include "platform/ErrorBox.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/HeldSettings.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>

namespace {

// The items of the dialogs, by name.
int item(const std::string& name) {
    using namespace imageSettingsItem;
    using namespace ftpSettingsItem;
    const std::vector<std::string> names{
        "quality",  "update",    "jpegFile",    "dateTimeOverlay", "textOverlay",
        "textRed",  "textGreen", "textBlue",    "backRed",         "backGreen",
        "backBlue", "port",      "host",        "saveTo",          "password",
        "user",     "active",    "stopOnError", "usePassive",      "fps"};
    const std::vector<int> ids{quality,     update,      jpegFile,   dateTimeOverlay,
                               textOverlay, textRed,     textGreen,  textBlue,
                               backRed,     backGreen,   backBlue,   port,
                               host,        saveTo,      password,   user,
                               active,      stopOnError, usePassive, previewSettingsItem::fps};
    return ids.at(static_cast<std::size_t>(std::ranges::find(names, name) - names.begin()));
}

// What is typed into the items ("item=text|...", a check box "[x]" or "[ ]"), the buttons
// pressed in turn, how the dialog ended and what it stored (by the keys of the settings
// file) from the settings given before it opened. A dialog left open after OK must have
// refused the file name in an error box. The dialog runs in a directory that holds a file
// "file.jpg", a directory "dir.jpg" and a FIFO "fifo.jpg".
struct DialogCase {
    const char* name;
    bool (*procedure)(DialogHost&, DialogMessage, int);
    std::string typed;
    std::vector<int> commands;
    std::optional<int> ended;
    std::string stored;
    std::string given = "";
};

class SettingsDialogTest : public testing::TestWithParam<DialogCase> {
protected:
    void SetUp() override { std::filesystem::current_path(dir.path()); }
    void TearDown() override { std::filesystem::current_path(previousDirectory); }

    SettingsSnapshot keepSettings;
    TempDir dir;
    const std::filesystem::path previousDirectory = std::filesystem::current_path();
};

TEST_P(SettingsDialogTest, StoresWhatItsRowSays) {
    const DialogCase& row = GetParam();
    std::ofstream("file.jpg") << "old picture";
    std::filesystem::create_directory("dir.jpg");
    ASSERT_EQ(::mkfifo("fifo.jpg", 0666), 0);
    std::vector<std::string> boxes;
    const ErrorBoxSink previousSink = setErrorBoxSink(
        [&](const std::string&, const std::string& text) { boxes.push_back(text); });
    HeldSettings held;
    const SettingsHolders holders = held.holders();
    for (const auto& [key, value] : parseSettings(
             "jpegquality=75|update=5|jpegfile=old.jpg|datetimeoverlay=1|textoverlay=Garden|"
             "textcolor=0x030201|backcolor=0x060504|port=2121|active=1|stoponerror=0|"
             "usepassive=1|host=ftp.test|saveto=cam/now.jpg|password=secret|user=watcher|fps=7|"
             "maxfps=30|" +
             row.given)) {
        std::ranges::find(settingsTable(), key, &Setting::key)->set(holders, value);
    }
    SettingsByKey expected = settingsByKey(holders);
    for (const auto& [key, value] : parseSettings(row.stored)) {
        expected[key] = value;
    }

    FakeDialogHost dialog;
    dialog.open(row.procedure);
    for (const auto& [name, text] : keyValuePairs(row.typed)) {
        if (text == "[x]" || text == "[ ]") {
            dialog.checks[item(name)] = text == "[x]";
        } else {
            dialog.texts[item(name)] = text;
        }
    }
    for (const int command : row.commands) {
        dialog.press(row.procedure, command);
    }
    setErrorBoxSink(previousSink);

    EXPECT_EQ(dialog.endResult, row.ended);
    EXPECT_EQ(settingsByKey(holders), expected);
    const bool refused = !row.ended && row.commands.front() == dialogOk;
    EXPECT_EQ(boxes, refused ? std::vector{"::Illegal filename::\n\n   " +
                                           dialog.texts[imageSettingsItem::jpegFile]}
                             : std::vector<std::string>{});
    std::ifstream in("file.jpg");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old picture");
    if (row.ended == dialogOk && row.procedure == imageSettingsDialogProc) {
        EXPECT_TRUE(std::filesystem::is_regular_file(std::get<std::string>(expected["jpegfile"])))
            << "the file name is taken";
    }
}

const auto image = imageSettingsDialogProc;
const auto ftp = ftpSettingsDialogProc;
const auto preview = previewSettingsDialogProc;
const std::string everyImageItem = "quality=90|update=60|jpegFile=new.jpg|textRed=10|textGreen=20|"
                                   "textBlue=30|backRed=40|backGreen=50|backBlue=60|"
                                   "textOverlay=Bird feeder|dateTimeOverlay=[ ]";
const std::string everyFtpItem = "port=990|host=h|saveTo=s|password=p\x01\xFF|user=u|"
                                 "active=[ ]|stopOnError=[x]|usePassive=[ ]";
const std::string k79(79, 'k');

DialogCase row(const char* name, bool (*procedure)(DialogHost&, DialogMessage, int),
               std::string typed, std::vector<int> commands, std::optional<int> ended,
               std::string stored, std::string given = "") {
    return {name,  procedure,         std::move(typed), std::move(commands),
            ended, std::move(stored), std::move(given)};
}

INSTANTIATE_TEST_SUITE_P(
    , SettingsDialogTest,
    testing::Values(
        row("ImageOkStoresEveryItem", image, everyImageItem, {dialogOk}, dialogOk,
            "jpegquality=90|update=60|jpegfile=new.jpg|datetimeoverlay=0|"
            "textoverlay=Bird feeder|textcolor=0x1E140A|backcolor=0x3C3228"),
        row("ImageOkWithoutEditsStoresWhatItShowed", image, "", {dialogOk}, dialogOk, ""),
        row("ImageNumbersAreHeldInTheirRanges", image,
            "quality=150|update=0|textRed=300|textGreen=|textBlue=4294967295|backRed=-2|"
            "backGreen= 42 |backBlue=99999999999",
            {dialogOk}, dialogOk, "jpegquality=100|update=1|textcolor=0xFF00FF|backcolor=0xFF2A00"),
        row("ImageTextsThatAreNoNumbers", image, "quality=high|update=99999999999", {dialogOk},
            dialogOk, "jpegquality=0|update=4294967"),
        row("ImageTextsAreCutWithoutSplittingACharacter", image,
            "textOverlay=" + std::string(37, 'a') +
                "\xE2\x82\xACz|jpegFile=" + std::string(78, 'n') + "\xC3\xA9.jpg",
            {dialogOk}, dialogOk,
            "textoverlay=" + std::string(37, 'a') + "|jpegfile=" + std::string(78, 'n')),
        row("ImageExistingFileIsTakenAsItIs", image, "jpegFile=file.jpg", {dialogOk}, dialogOk,
            "jpegfile=file.jpg"),
        row("ImageMissingDirectoryIsRefusedAfterTheOtherValues", image,
            "quality=33|jpegFile=missing/cam.jpg", {dialogOk}, std::nullopt, "jpegquality=33"),
        row("ImageEmptyNameIsRefused", image, "jpegFile=", {dialogOk}, std::nullopt, ""),
        row("ImageDirectoryIsRefused", image, "jpegFile=dir.jpg", {dialogOk}, std::nullopt, ""),
        row("ImageFifoIsRefusedWithoutWaitingForAWriter", image, "jpegFile=fifo.jpg", {dialogOk},
            std::nullopt, ""),
        row("ImageApplyStoresAndCancelThenKeepsIt", image, "update=30", {dialogApply, dialogCancel},
            dialogCancel, "update=30"),
        row("ImageCancelStoresNothing", image, everyImageItem, {dialogCancel}, dialogCancel, ""),
        row("ImageCheckBoxClickIsNoCommand", image, everyImageItem,
            {imageSettingsItem::dateTimeOverlay}, std::nullopt, ""),
        row("FtpOkStoresEveryItem", ftp, everyFtpItem, {dialogOk}, dialogOk,
            "port=990|active=0|stoponerror=1|usepassive=0|host=h|saveto=s|"
            "password=p\x01\xFF|user=u"),
        row("FtpOkWithoutEditsStoresWhatItShowed", ftp, "", {dialogOk}, dialogOk, ""),
        row("FtpPortAndTextsAsTypedUpTo79Bytes", ftp,
            "port=4294967296|host=" + k79 + "dd|saveTo=" + k79.substr(2) +
                "\xE2\x82\xAC|password=" + std::string(100, 'p') + "|user=",
            {dialogOk}, dialogOk,
            "port=4294967295|host=" + k79 + "|saveto=" + k79.substr(2) +
                "|password=" + std::string(79, 'p') + "|user="),
        row("FtpCancelStoresNothing", ftp, everyFtpItem, {dialogCancel}, dialogCancel, ""),
        row("PreviewAboveMaxIsMax", preview, "fps=45", {dialogOk}, dialogOk, "fps=30"),
        row("PreviewInRangeStays", preview, "fps=15", {dialogOk}, dialogOk, "fps=15"),
        row("PreviewNoNumberIs1", preview, "fps=fast", {dialogOk}, dialogOk, "fps=1"),
        row("PreviewMaxFps0MakesAnyEntry1", preview, "fps=45", {dialogOk}, dialogOk, "fps=1",
            "maxfps=0"),
        // maxfps -1 from the settings file compares as the largest unsigned.
        row("PreviewNegativeMaxFpsIsNoLimit", preview, "fps=500", {dialogOk}, dialogOk, "fps=500",
            "maxfps=-1"),
        row("PreviewCancelKeepsTheRate", preview, "fps=5", {dialogCancel}, dialogCancel, ""),
        row("PreviewOkWithoutEditsStoresWhatItShowed", preview, "", {dialogOk}, dialogOk, "",
            "fps=12")),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
