#include "settings/FtpSettingsDialog.h"

#include "settings/Settings.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/SettingsSnapshot.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

namespace item = ftpSettingsItem;

class FtpSettingsDialogTest : public testing::Test {
protected:
    SettingsSnapshot keepSettings;

    void SetUp() override {
        Settings::setPort(2121);
        Settings::setActive(true);
        Settings::setStopOnError(false);
        Settings::setUsePassive(true);
        Settings::setHost("ftp.test");
        Settings::setSaveTo("cam/now.jpg");
        Settings::setPassword("secret");
        Settings::setUser("watcher");
        dialog.open(ftpSettingsDialogProc);
    }

    FakeDialogHost dialog;
};

TEST_F(FtpSettingsDialogTest, OpeningShowsEveryValueInItsOwnItem) {
    EXPECT_EQ(dialog.texts[item::port], "2121");
    EXPECT_TRUE(dialog.checks[item::active]);
    EXPECT_FALSE(dialog.checks[item::stopOnError]);
    EXPECT_TRUE(dialog.checks[item::usePassive]);
    EXPECT_EQ(dialog.texts[item::host], "ftp.test");
    EXPECT_EQ(dialog.texts[item::saveTo], "cam/now.jpg");
    EXPECT_EQ(dialog.texts[item::password], "secret");
    EXPECT_EQ(dialog.texts[item::user], "watcher");
}

TEST_F(FtpSettingsDialogTest, OkStoresEveryItemIntoItsOwnSettingAndCloses) {
    dialog.texts = {{item::port, "990"},
                    {item::host, "h"},
                    {item::saveTo, "s"},
                    {item::password, "p\x01\xFF"},
                    {item::user, "u"}};
    dialog.checks = {{item::active, false}, {item::stopOnError, true}, {item::usePassive, false}};

    EXPECT_TRUE(dialog.press(ftpSettingsDialogProc, dialogOk));

    EXPECT_EQ(dialog.endResult, dialogOk);
    EXPECT_EQ(Settings::getPort(), 990u);
    EXPECT_FALSE(Settings::getActive());
    EXPECT_TRUE(Settings::getStopOnError());
    EXPECT_FALSE(Settings::getUsePassive());
    EXPECT_EQ(Settings::getHost(), "h");
    EXPECT_EQ(Settings::getSaveTo(), "s");
    EXPECT_EQ(Settings::getPassword(), "p\x01\xFF");
    EXPECT_EQ(Settings::getUser(), "u");
}

struct PortCase {
    const char* name;
    const char* typed;
    unsigned stored;
};

class FtpPort : public FtpSettingsDialogTest, public testing::WithParamInterface<PortCase> {};

TEST_P(FtpPort, IsStoredAsTypedWithoutRange) {
    dialog.texts[item::port] = GetParam().typed;
    dialog.press(ftpSettingsDialogProc, dialogOk);
    EXPECT_EQ(Settings::getPort(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    , FtpPort,
    testing::Values(PortCase{"EmptyIs0", "", 0}, PortCase{"TextIs0", "ftp", 0},
                    PortCase{"Above16BitsStays", "70000", 70000},
                    PortCase{"LargestUnsignedStays", "4294967295", 4294967295U},
                    PortCase{"Beyond32BitsIsLargest", "4294967296", 4294967295U}),
    [](const auto& info) { return std::string(info.param.name); });

struct FtpTextCase {
    const char* name;
    int itemId;
    std::function<std::string()> stored;
};

class FtpTextCut : public FtpSettingsDialogTest, public testing::WithParamInterface<FtpTextCase> {};

TEST_P(FtpTextCut, HundredCharactersAreStoredAsTheFirst79) {
    dialog.texts[GetParam().itemId] = std::string(79, 'k') + std::string(21, 'd');
    dialog.press(ftpSettingsDialogProc, dialogOk);
    EXPECT_EQ(GetParam().stored(), std::string(79, 'k'));
}

TEST_P(FtpTextCut, CharacterAcrossTheCutIsDropped) {
    dialog.texts[GetParam().itemId] = std::string(77, 'k') + "\xE2\x82\xAC";
    dialog.press(ftpSettingsDialogProc, dialogOk);
    EXPECT_EQ(GetParam().stored(), std::string(77, 'k'));
}

TEST_P(FtpTextCut, EmptyIsStoredEmpty) {
    dialog.texts[GetParam().itemId] = "";
    EXPECT_TRUE(dialog.press(ftpSettingsDialogProc, dialogOk));
    EXPECT_EQ(GetParam().stored(), "");
    EXPECT_EQ(dialog.endResult, dialogOk);
}

INSTANTIATE_TEST_SUITE_P(
    , FtpTextCut,
    testing::Values(FtpTextCase{"Host", item::host, Settings::getHost},
                    FtpTextCase{"Destination", item::saveTo, Settings::getSaveTo},
                    FtpTextCase{"Password", item::password, Settings::getPassword},
                    FtpTextCase{"User", item::user, Settings::getUser}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtpSettingsDialogTest, CancelAfterEditsStoresNothing) {
    dialog.texts = {{item::port, "1"},
                    {item::host, "x"},
                    {item::saveTo, "x"},
                    {item::password, "x"},
                    {item::user, "x"}};
    dialog.checks = {{item::active, false}, {item::stopOnError, true}, {item::usePassive, false}};

    EXPECT_TRUE(dialog.press(ftpSettingsDialogProc, dialogCancel));

    EXPECT_EQ(dialog.endResult, dialogCancel);
    EXPECT_EQ(Settings::getPort(), 2121u);
    EXPECT_TRUE(Settings::getActive());
    EXPECT_FALSE(Settings::getStopOnError());
    EXPECT_TRUE(Settings::getUsePassive());
    EXPECT_EQ(Settings::getHost(), "ftp.test");
    EXPECT_EQ(Settings::getSaveTo(), "cam/now.jpg");
    EXPECT_EQ(Settings::getPassword(), "secret");
    EXPECT_EQ(Settings::getUser(), "watcher");
}

TEST_F(FtpSettingsDialogTest, CheckBoxClicksAreNotHandled) {
    EXPECT_FALSE(dialog.press(ftpSettingsDialogProc, item::active));
    EXPECT_FALSE(dialog.endResult);
}

} // namespace
