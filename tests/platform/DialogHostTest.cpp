#include "platform/DialogHost.h"

#include "tests/support/FakeDialogHost.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ParseCase {
    const char* name;
    std::string text;
    unsigned value;
};

class ParseUnsigned : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseUnsigned, ReadsDecimalDigitsOrGives0) {
    EXPECT_EQ(DialogHost::parseUnsigned(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    , ParseUnsigned,
    testing::Values(ParseCase{"Empty", "", 0}, ParseCase{"Zero", "0", 0},
                    ParseCase{"Number", "42", 42}, ParseCase{"LeadingZeros", "007", 7},
                    ParseCase{"Blanks", " \t42  ", 42}, ParseCase{"OnlyBlanks", "   ", 0},
                    ParseCase{"Largest", "4294967295", 4294967295U},
                    ParseCase{"OneBeyondLargestSaturates", "4294967296", 4294967295U},
                    ParseCase{"FarBeyondSaturates", "99999999999999999999999", 4294967295U},
                    ParseCase{"MinusSign", "-1", 0}, ParseCase{"PlusSign", "+1", 0},
                    ParseCase{"InnerBlank", "1 2", 0}, ParseCase{"TrailingLetter", "12s", 0},
                    ParseCase{"Hexadecimal", "0x10", 0},
                    ParseCase{"DigitsBeyondLargestThenLetter", "99999999999x", 0},
                    ParseCase{"ArabicIndicDigit", "\xD9\xA3", 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct CutCase {
    const char* name;
    std::string text;
    std::size_t maxBytes;
    std::size_t length;
};

class CutLength : public testing::TestWithParam<CutCase> {};

TEST_P(CutLength, NeverSplitsAUtf8Character) {
    EXPECT_EQ(DialogHost::cutLength(GetParam().text, GetParam().maxBytes), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    , CutLength,
    testing::Values(CutCase{"ShortTextWhole", "abc", 5, 3}, CutCase{"ExactFit", "abcde", 5, 5},
                    CutCase{"AsciiCut", "abcdef", 5, 5}, CutCase{"ZeroBytes", "abc", 0, 0},
                    CutCase{"TwoByteEndsAtCut", "abc\xC3\xA9z", 5, 5},
                    CutCase{"TwoByteAcrossCut", "abcd\xC3\xA9", 5, 4},
                    CutCase{"ThreeByteOneInside", "abcd\xE2\x82\xAC", 5, 4},
                    CutCase{"ThreeByteTwoInside", "abc\xE2\x82\xAC", 4, 3},
                    CutCase{"FourByteThreeInside", "a\xF0\x9F\x90\xA6", 4, 1},
                    CutCase{"FourByteOneInside", "abc\xF0\x9F\x90\xA6", 4, 3},
                    CutCase{"OnlyMultiByteCharacterDropped", "\xC3\xA9", 1, 0},
                    // Bytes that are no well-formed UTF-8 (text from elsewhere) are cut as
                    // single bytes.
                    CutCase{"LoneLatin1ByteKept", "abcd\xE9z", 5, 5},
                    CutCase{"TruncatedSequenceAtEndIsCutAsBytes", "abcd\xE2\x82", 5, 5},
                    CutCase{"LoneContinuationBytesCutAsBytes", "abcd\xA3\xA3\xA3\xA3\xA3", 6, 6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DialogHostTest, ReadItemTextKeepsOneByteLessThanTheBuffer) {
    FakeDialogHost dialog;
    dialog.texts[7] = "abcdefgh";
    EXPECT_EQ(dialog.readItemText(7, 5), "abcd");
    EXPECT_EQ(dialog.readItemText(7, 1), "");
    EXPECT_EQ(dialog.readItemText(7, 0), "");
    EXPECT_EQ(dialog.readItemText(7, 80), "abcdefgh");
}

TEST(DialogHostTest, NumbersAreShownInDecimalAndReadBack) {
    FakeDialogHost dialog;
    dialog.setItemUnsigned(3, 4294967295U);
    EXPECT_EQ(dialog.texts[3], "4294967295");
    EXPECT_EQ(dialog.readItemUnsigned(3), 4294967295U);
    EXPECT_EQ(dialog.readItemUnsigned(4), 0u) << "an item never set reads as an empty field";
}

} // namespace
