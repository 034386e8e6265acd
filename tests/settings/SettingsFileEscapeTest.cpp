#include "settings/SettingsFileEscape.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>

using namespace std::string_literals;

namespace {

struct EscapeRow {
    const char* name;
    std::string plain;
    std::string written;
};

class SettingsFileEscapeTest : public testing::TestWithParam<EscapeRow> {};

TEST_P(SettingsFileEscapeTest, WritesTheFormAndReadsItBack) {
    const EscapeRow& row = GetParam();
    EXPECT_EQ(escapeSettingsValue(row.plain), row.written);
    EXPECT_EQ(unescapeSettingsValue(row.written), row.plain);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsFileEscapeTest,
    testing::Values(
        EscapeRow{"Empty", "", ""}, EscapeRow{"Plain", "image.jpg", "image.jpg"},
        EscapeRow{"QuotationMarksAndMarkupStayAsTheyAre", "say \"<hi>\" & go", "say \"<hi>\" & go"},
        EscapeRow{"Apostrophe", "it's", "it&#39;s"},
        EscapeRow{"BothQuoteKinds", "'\"'", "&#39;\"&#39;"},
        EscapeRow{"LineEnds", "a\r\nb", "a&#13;&#10;b"}, EscapeRow{"ZeroByte", "a\0b"s, "a&#0;b"},
        EscapeRow{"Tab", "\t", "&#9;"}, EscapeRow{"Delete", "\x7f", "&#127;"},
        EscapeRow{"HighBytesStayAsTheyAre", "\xc3\xa9\xff", "\xc3\xa9\xff"},
        EscapeRow{"LiteralReferenceIsKept", "&#39;", "&#38;#39;"},
        EscapeRow{"LiteralReferenceWithLeadingZeros", "&#039;", "&#38;#039;"},
        EscapeRow{"AmpersandBeforeEscapedByte", "&#\n;", "&#&#10;;"},
        EscapeRow{"AmpersandsThatStartNoReference", "&amp; &# &#; &#x41; &#1234; &#256;",
                  "&amp; &# &#; &#x41; &#1234; &#256;"},
        EscapeRow{"AmpersandAtTheEnd", "a&", "a&"},
        EscapeRow{"ReferenceOfTheLargestByte", "&#255;", "&#38;#255;"}),
    [](const testing::TestParamInfo<EscapeRow>& info) { return std::string(info.param.name); });

struct ReadRow {
    const char* name;
    std::string written;
    std::string plain;
};

class SettingsFileUnescapeTest : public testing::TestWithParam<ReadRow> {};

// Hand-edited files may hold forms the writer never makes.
TEST_P(SettingsFileUnescapeTest, ReadsOtherForms) {
    EXPECT_EQ(unescapeSettingsValue(GetParam().written), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(Values, SettingsFileUnescapeTest,
                         testing::Values(ReadRow{"LeadingZeros", "&#039;", "'"},
                                         ReadRow{"FourDigitsAreNoReference", "&#0039;", "&#0039;"},
                                         ReadRow{"UnfinishedReference", "&#39", "&#39"},
                                         ReadRow{"ReferenceCutByTheEnd", "ab&#", "ab&#"},
                                         ReadRow{"NestedAmpersand", "&&#38;", "&&"}),
                         [](const testing::TestParamInfo<ReadRow>& info) {
                             return std::string(info.param.name);
                         });

// Random byte strings weighted towards the bytes the scheme cares about.
TEST(SettingsFileEscapeRandomTest, EveryByteStringReadsBack) {
    std::mt19937 random(20261206);
    const std::string alphabet = "&#;0123456789'\"<>\r\n\x01\x7f\xff a"s + '\0';
    std::uniform_int_distribution<std::size_t> length(0, 40);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 20000; ++round) {
        std::string plain(length(random), '\0');
        for (char& c : plain) {
            c = round % 2 == 0 ? alphabet[pick(random)] : static_cast<char>(anyByte(random));
        }
        const std::string written = escapeSettingsValue(plain);
        ASSERT_EQ(unescapeSettingsValue(written), plain) << "written as " << written;
        for (char c : written) {
            const auto byte = static_cast<unsigned char>(c);
            ASSERT_TRUE(byte >= 32 && byte != 127 && byte != '\'') << "written as " << written;
        }
    }
}

} // namespace
