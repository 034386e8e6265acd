#include "settings/ImageSettingsDialog.h"

#include "platform/ErrorBox.h"
#include "settings/Settings.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/SettingsSnapshot.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace item = imageSettingsItem;

// The store is process-wide: every test starts from the same values and a recording error
// box, and puts the store's values back afterwards.
class ImageSettingsDialogTest : public testing::Test {
protected:
    SettingsSnapshot keepSettings;

    void SetUp() override {
        Settings::setJpegQuality(75);
        Settings::setUpdate(5);
        Settings::setJpegFile(dir.file("old.jpg"));
        Settings::setDateTimeOverlay(true);
        Settings::setTextOverlay("Garden");
        Settings::setTextColor(0x030201);
        Settings::setBackColor(0x060504);
        previousSink = setErrorBoxSink(
            [this](const std::string&, const std::string& text) { boxes.push_back(text); });
        dialog.open(imageSettingsDialogProc);
    }
    void TearDown() override { setErrorBoxSink(previousSink); }

    // Types into an item and presses OK.
    void typeAndPressOk(int itemId, const std::string& text) {
        dialog.texts[itemId] = text;
        dialog.press(imageSettingsDialogProc, dialogOk);
    }

    TempDir dir;
    FakeDialogHost dialog;
    std::vector<std::string> boxes;
    ErrorBoxSink previousSink;
};

TEST_F(ImageSettingsDialogTest, OpeningShowsEveryValueInItsOwnItem) {
    EXPECT_EQ(dialog.texts[item::quality], "75");
    EXPECT_EQ(dialog.texts[item::update], "5");
    EXPECT_EQ(dialog.texts[item::jpegFile], dir.file("old.jpg"));
    EXPECT_TRUE(dialog.checks[item::dateTimeOverlay]);
    EXPECT_EQ(dialog.texts[item::textOverlay], "Garden");
    EXPECT_EQ(dialog.texts[item::textRed], "1");
    EXPECT_EQ(dialog.texts[item::textGreen], "2");
    EXPECT_EQ(dialog.texts[item::textBlue], "3");
    EXPECT_EQ(dialog.texts[item::backRed], "4");
    EXPECT_EQ(dialog.texts[item::backGreen], "5");
    EXPECT_EQ(dialog.texts[item::backBlue], "6");
}

TEST_F(ImageSettingsDialogTest, OkStoresEveryItemIntoItsOwnSettingAndCloses) {
    dialog.texts = {{item::quality, "90"},
                    {item::update, "60"},
                    {item::jpegFile, dir.file("new.jpg")},
                    {item::textOverlay, "Bird feeder"},
                    {item::textRed, "10"},
                    {item::textGreen, "20"},
                    {item::textBlue, "30"},
                    {item::backRed, "40"},
                    {item::backGreen, "50"},
                    {item::backBlue, "60"}};
    dialog.checks[item::dateTimeOverlay] = false;

    EXPECT_TRUE(dialog.press(imageSettingsDialogProc, dialogOk));

    EXPECT_EQ(dialog.endResult, dialogOk);
    EXPECT_EQ(Settings::getJpegQuality(), 90u);
    EXPECT_EQ(Settings::getUpdate(), 60u);
    EXPECT_EQ(Settings::getJpegFile(), dir.file("new.jpg"));
    EXPECT_FALSE(Settings::getDateTimeOverlay());
    EXPECT_EQ(Settings::getTextOverlay(), "Bird feeder");
    EXPECT_EQ(Settings::getTextColor(), 10u + 20u * 256 + 30u * 65536);
    EXPECT_EQ(Settings::getBackColor(), 40u + 50u * 256 + 60u * 65536);
    EXPECT_TRUE(boxes.empty());
}

struct NumberCase {
    const char* name;
    int itemId;
    const char* typed;
    std::function<unsigned()> stored;
    unsigned expected;
};

class ImageNumberLimits : public ImageSettingsDialogTest,
                          public testing::WithParamInterface<NumberCase> {};

TEST_P(ImageNumberLimits, TypedNumberIsLimitedBeforeItIsStored) {
    typeAndPressOk(GetParam().itemId, GetParam().typed);
    EXPECT_EQ(GetParam().stored(), GetParam().expected);
}

unsigned quality() {
    return Settings::getJpegQuality();
}
unsigned update() {
    return Settings::getUpdate();
}
unsigned textRed() {
    return Settings::getTextColor() & 0xFF;
}
unsigned textBlue() {
    return (Settings::getTextColor() >> 16) & 0xFF;
}
unsigned backGreen() {
    return (Settings::getBackColor() >> 8) & 0xFF;
}

INSTANTIATE_TEST_SUITE_P(
    , ImageNumberLimits,
    testing::Values(
        NumberCase{"Quality150Is100", item::quality, "150", quality, 100},
        NumberCase{"Quality100Stays", item::quality, "100", quality, 100},
        NumberCase{"Quality0Stays0", item::quality, "0", quality, 0},
        NumberCase{"QualityEmptyIs0", item::quality, "", quality, 0},
        NumberCase{"QualityTextIs0", item::quality, "high", quality, 0},
        NumberCase{"QualityBeyond32BitsIs100", item::quality, "99999999999", quality, 100},
        NumberCase{"Update0Is1", item::update, "0", update, 1},
        NumberCase{"UpdateEmptyIs1", item::update, "", update, 1},
        NumberCase{"UpdateTextIs1", item::update, "12s", update, 1},
        NumberCase{"Update5000000IsMax", item::update, "5000000", update, 4294967},
        NumberCase{"UpdateMaxStays", item::update, "4294967", update, 4294967},
        NumberCase{"UpdateJustAboveMaxIsMax", item::update, "4294968", update, 4294967},
        NumberCase{"UpdateBeyond32BitsIsMax", item::update, "99999999999", update, 4294967},
        NumberCase{"TextRed300Is255", item::textRed, "300", textRed, 255},
        NumberCase{"TextRed255Stays", item::textRed, "255", textRed, 255},
        NumberCase{"TextRed256Is255", item::textRed, "256", textRed, 255},
        NumberCase{"TextRedEmptyIs0", item::textRed, "", textRed, 0},
        NumberCase{"TextBlueAboveSignedRangeIs255", item::textBlue, "3000000000", textBlue, 255},
        NumberCase{"TextBlueLargestUnsignedIs255", item::textBlue, "4294967295", textBlue, 255},
        NumberCase{"BackGreen1000Is255", item::backGreen, "1000", backGreen, 255},
        NumberCase{"BackGreenTextIs0", item::backGreen, "-2", backGreen, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct TextCase {
    const char* name;
    std::string typed;
    std::string stored;
};

class OverlayTextCut : public ImageSettingsDialogTest,
                       public testing::WithParamInterface<TextCase> {};

TEST_P(OverlayTextCut, KeepsAtMost39BytesWithoutSplittingACharacter) {
    typeAndPressOk(item::textOverlay, GetParam().typed);
    EXPECT_EQ(Settings::getTextOverlay(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    , OverlayTextCut,
    testing::Values(TextCase{"Empty", "", ""},
                    TextCase{"ThirtyNineKept", std::string(39, 'x'), std::string(39, 'x')},
                    TextCase{"FortyCutTo39", std::string(40, 'x'), std::string(39, 'x')},
                    TextCase{"FiftyCutTo39", std::string(25, 'a') + std::string(25, 'b'),
                             std::string(25, 'a') + std::string(14, 'b')},
                    TextCase{"TwoByteCharacterAcrossTheCutIsDropped",
                             std::string(38, 'a') + "\xC3\xA9" + "z", std::string(38, 'a')},
                    TextCase{"TwoByteCharacterEndingAtTheCutIsKept",
                             std::string(37, 'a') + "\xC3\xA9" + "z",
                             std::string(37, 'a') + "\xC3\xA9"},
                    TextCase{"ThreeByteCharacterAcrossTheCutIsDropped",
                             std::string(37, 'a') + "\xE2\x82\xAC" + "z", std::string(37, 'a')},
                    TextCase{"FourByteCharacterAcrossTheCutIsDropped",
                             std::string(36, 'a') + "\xF0\x9F\x90\xA6", std::string(36, 'a')}),
    [](const auto& info) { return std::string(info.param.name); });

// The file-name test, in a temporary directory.
enum class Before { nothing, file, directory, fifo };

struct FileNameCase {
    const char* name;
    // The name typed, relative to the temporary directory unless it is absolute; empty
    // types an empty name.
    std::string typed;
    Before before;
    bool accepted;
};

class JpegFileName : public ImageSettingsDialogTest,
                     public testing::WithParamInterface<FileNameCase> {
protected:
    std::string typedName() const {
        const std::string& typed = GetParam().typed;
        return typed.empty() || typed.front() == '/' ? typed : dir.file(typed);
    }
};

TEST_P(JpegFileName, IsTakenOnlyWhereTheJpegFileCanBeWritten) {
    const std::string name = typedName();
    if (GetParam().before == Before::file) {
        std::ofstream(name, std::ios::binary) << "old picture";
    } else if (GetParam().before == Before::directory) {
        std::filesystem::create_directory(name);
    } else if (GetParam().before == Before::fifo) {
        ASSERT_EQ(::mkfifo(name.c_str(), 0666), 0);
    }
    dialog.texts[item::quality] = "33";
    dialog.texts[item::jpegFile] = name;

    dialog.press(imageSettingsDialogProc, dialogOk);

    EXPECT_EQ(Settings::getJpegQuality(), 33u) << "stored before the name is tested";
    if (GetParam().accepted) {
        EXPECT_EQ(dialog.endResult, dialogOk);
        EXPECT_EQ(Settings::getJpegFile(), name);
        EXPECT_TRUE(boxes.empty());
        ASSERT_TRUE(std::filesystem::is_regular_file(name));
        EXPECT_EQ(std::filesystem::file_size(name), GetParam().before == Before::file ? 11u : 0u);
    } else {
        EXPECT_FALSE(dialog.endResult) << "OK leaves the dialog open";
        EXPECT_EQ(Settings::getJpegFile(), dir.file("old.jpg"));
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], "::Illegal filename::\n\n   " + name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    , JpegFileName,
    testing::Values(
        FileNameCase{"ExistingFileIsKeptAsItIs", "cam.jpg", Before::file, true},
        FileNameCase{"NewFileIsCreatedEmpty", "new.jpg", Before::nothing, true},
        FileNameCase{"MissingDirectoryIsRefused", "missing/cam.jpg", Before::nothing, false},
        FileNameCase{"EmptyNameIsRefused", "", Before::nothing, false},
        FileNameCase{"DirectoryIsRefused", "sub", Before::directory, false},
        FileNameCase{"FifoIsRefusedWithoutWaitingForAWriter", "cam.jpg", Before::fifo, false},
        // A file that reads, in a directory where no file can be made even by root.
        FileNameCase{"FileWhoseDirectoryTakesNoNewFileIsRefused", "/proc/version", Before::nothing,
                     false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageSettingsDialogTest, LongFileNameIsCutTo79BytesAndThatFileIsCreated) {
    const std::string prefix = dir.path().string() + "/";
    ASSERT_LT(prefix.size(), 60u);
    const std::string kept = prefix + std::string(79 - prefix.size(), 'n');
    typeAndPressOk(item::jpegFile, kept + "ignored.jpg");

    EXPECT_EQ(dialog.endResult, dialogOk);
    EXPECT_EQ(Settings::getJpegFile(), kept);
    EXPECT_TRUE(std::filesystem::exists(kept));
}

TEST_F(ImageSettingsDialogTest, FileNameWithACharacterAcrossTheCutLosesThatCharacter) {
    const std::string prefix = dir.path().string() + "/";
    const std::string kept = prefix + std::string(78 - prefix.size(), 'n');
    typeAndPressOk(item::jpegFile, kept + "\xC3\xA9.jpg");

    EXPECT_EQ(Settings::getJpegFile(), kept);
    EXPECT_TRUE(std::filesystem::exists(kept));
}

TEST_F(ImageSettingsDialogTest, ApplyStoresAndLeavesTheDialogOpen) {
    dialog.texts[item::update] = "30";
    dialog.press(imageSettingsDialogProc, dialogApply);

    EXPECT_FALSE(dialog.endResult);
    EXPECT_EQ(Settings::getUpdate(), 30u);
}

TEST_F(ImageSettingsDialogTest, CancelAfterApplyKeepsWhatApplyStored) {
    dialog.texts[item::update] = "30";
    dialog.press(imageSettingsDialogProc, dialogApply);
    dialog.texts[item::update] = "90";
    dialog.texts[item::textOverlay] = "not stored";

    EXPECT_TRUE(dialog.press(imageSettingsDialogProc, dialogCancel));

    EXPECT_EQ(dialog.endResult, dialogCancel);
    EXPECT_EQ(Settings::getUpdate(), 30u);
    EXPECT_EQ(Settings::getTextOverlay(), "Garden");
}

TEST_F(ImageSettingsDialogTest, CancelAfterEditsStoresNothing) {
    dialog.texts = {{item::quality, "10"},    {item::update, "99"}, {item::jpegFile, ""},
                    {item::textOverlay, "x"}, {item::textRed, "9"}, {item::backBlue, "9"}};
    dialog.checks[item::dateTimeOverlay] = false;

    dialog.press(imageSettingsDialogProc, dialogCancel);

    EXPECT_EQ(dialog.endResult, dialogCancel);
    EXPECT_EQ(Settings::getJpegQuality(), 75u);
    EXPECT_EQ(Settings::getUpdate(), 5u);
    EXPECT_EQ(Settings::getJpegFile(), dir.file("old.jpg"));
    EXPECT_TRUE(Settings::getDateTimeOverlay());
    EXPECT_EQ(Settings::getTextOverlay(), "Garden");
    EXPECT_EQ(Settings::getTextColor(), 0x030201u);
    EXPECT_EQ(Settings::getBackColor(), 0x060504u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ImageSettingsDialogTest, RefusedNameThenGoodNameClosesOnTheSecondOk) {
    typeAndPressOk(item::jpegFile, dir.file("missing/cam.jpg"));
    ASSERT_FALSE(dialog.endResult);

    typeAndPressOk(item::jpegFile, dir.file("cam.jpg"));

    EXPECT_EQ(dialog.endResult, dialogOk);
    EXPECT_EQ(Settings::getJpegFile(), dir.file("cam.jpg"));
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(ImageSettingsDialogTest, OtherCommandsAreNotHandled) {
    EXPECT_FALSE(dialog.press(imageSettingsDialogProc, item::dateTimeOverlay));
    EXPECT_FALSE(dialog.endResult);
    EXPECT_EQ(Settings::getJpegQuality(), 75u);
}

} // namespace
