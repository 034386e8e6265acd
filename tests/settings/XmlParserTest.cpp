#include "settings/XmlParser.h"

#include "settings/SettingsFile.h"
#include "settings/XmlElement.h"
#include "settings/XmlHandler.h"
#include "tests/support/HeldSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <ios>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

const std::string missingIdentifier =
    "error missing start of identifier: expected a-z, A-Z, _ or :";
const std::string missingString =
    "error missing start of string: expected apostrophe or quotation mark";
const std::string missingEquals = "error error in attribute; expecting '='";
const std::string badTagEnd = "error error at end of attribute list; expecting \">\" or \"/\"";
const std::string unmatchedEndTag = "error Unmatched end tag";
const std::string unclosedElements = "error unclosed elements at end of document";
const std::string nameTooLong = "error identifier too long: cut to 255 characters";
const std::string valueTooLong = "error string too long: cut to 2047 characters";
const std::string textTooLong = "error character data too long: cut to 16387 characters";
const std::string readError = "error error reading input: document ends here";

// Writes every event as one line of text. An element is shown with its attributes through
// the element's own accessors: "start a" has no map, "start a []" an empty one. An
// endElement that does not get the innermost open element is logged as a mismatch.
class RecordingHandler : public XmlHandler {
public:
    explicit RecordingHandler(std::vector<std::string>& events)
        : events(events) {}

    void startDocument() override { events.push_back("startDocument"); }
    void endDocument() override { events.push_back("endDocument"); }
    void startElement(const XmlElement* element) override {
        open.push_back(element);
        std::string line = "start " + element->getName();
        if (element->hasAttributeMap()) {
            line += " [";
            for (auto it = element->begin(); it != element->end(); ++it) {
                line += it == element->begin() ? "" : " ";
                line += element->attributeName(it) + "=\"" + element->attributeValue(it) + "\"";
            }
            line += "]";
        }
        events.push_back(line);
    }
    void endElement(const XmlElement* element) override {
        const bool innermost = !open.empty() && open.back() == element;
        events.push_back(innermost ? "end " + element->getName() : "end MISMATCH");
        if (!open.empty()) {
            open.pop_back();
        }
    }
    void characters(std::string_view text) override {
        events.push_back("chars " + std::string(text));
    }
    void error(std::string_view message) override {
        events.push_back("error " + std::string(message));
    }

private:
    std::vector<std::string>& events;
    std::vector<const XmlElement*> open;
};

std::vector<std::string> parseStream(std::istream& input) {
    std::vector<std::string> events;
    XmlParser parser(input);
    parser.setHandler(std::make_unique<RecordingHandler>(events));
    parser.parse();
    return events;
}

// The events between startDocument and endDocument, after checking that those come first
// and last.
std::vector<std::string> parseText(const std::string& text) {
    std::istringstream input(text);
    std::vector<std::string> events = parseStream(input);
    EXPECT_GE(events.size(), 2u);
    if (events.size() < 2) {
        return events;
    }
    EXPECT_EQ(events.front(), "startDocument");
    EXPECT_EQ(events.back(), "endDocument");
    return {events.begin() + 1, events.end() - 1};
}

struct EventRow {
    const char* name;
    std::string input;
    std::vector<std::string> events;
};

std::string rowName(const testing::TestParamInfo<EventRow>& info) {
    return info.param.name;
}

class XmlParserEvents : public testing::TestWithParam<EventRow> {};

TEST_P(XmlParserEvents, ReportsExactlyTheseEvents) {
    EXPECT_EQ(parseText(GetParam().input), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Tags, XmlParserEvents,
    testing::Values(
        EventRow{"StartTagWithoutAttributesHasNoMap", "<a>", {"start a", unclosedElements}},
        EventRow{"EmptyElementTagHasEmptyMap", "<a/>", {"start a []", "end a"}},
        EventRow{"SpaceBeforeSlashStillEmptyMap", "<a />", {"start a []", "end a"}},
        EventRow{"EmptyElementDoesNotFinishDocument",
                 "<a/><b></b>",
                 {"start a []", "end a", "start b", "end b"}},
        EventRow{"Nested",
                 "<a><b/><c></c></a>",
                 {"start a", "start b []", "end b", "start c", "end c", "end a"}},
        EventRow{"EndTagClosesInnermostWhateverItsName", "<a></b></b>", {"start a", "end a"}},
        EventRow{"WhiteSpaceAroundNames", "< a ></ a >", {"start a", "end a"}},
        EventRow{"AllNameCharacters", "<_a:Z.9-></_a:Z.9->", {"start _a:Z.9-", "end _a:Z.9-"}},
        EventRow{"ColonStartsName", "<:x/>", {"start :x []", "end :x"}},
        EventRow{"EndTagWithoutName", "<a></>", {"start a", missingIdentifier, "end a"}},
        EventRow{"EndTagWithoutClose", "<a></a", {"start a", "end a"}},
        EventRow{"NameStopsAtOtherCharacter",
                 "<a%>",
                 {missingIdentifier, missingEquals, "start a []", unclosedElements}},
        EventRow{
            "DigitCannotStartName",
            "<1>",
            {missingIdentifier, missingIdentifier, missingEquals, "start  []", unclosedElements}},
        EventRow{"SlashThenSpaceClosesAndSpaceIsNotExamined",
                 "<a/ >",
                 {"start a []", "end a", "chars >"}}),
    rowName);

INSTANTIATE_TEST_SUITE_P(
    Attributes, XmlParserEvents,
    testing::Values(
        EventRow{"BothQuotesAndSpacesAroundEquals",
                 "<a b = 'x' c=\"y'z\">",
                 {"start a [b=\"x\" c=\"y'z\"]", unclosedElements}},
        EventRow{"LaterValueWins", "<a x='1' x='2'/>", {"start a [x=\"2\"]", "end a"}},
        EventRow{"NoSpaceNeededBetweenAttributes",
                 "<a b='1'c='2'/>",
                 {"start a [b=\"1\" c=\"2\"]", "end a"}},
        EventRow{"OrderedByUnsignedBytes",
                 "<e b='' a_='' aa='' a.='' a-='' a:='' a0='' aA='' _='' Z='' B=''/>",
                 {"start e [B=\"\" Z=\"\" _=\"\" a-=\"\" a.=\"\" a0=\"\" a:=\"\" aA=\"\" a_=\"\" "
                  "aa=\"\" b=\"\"]",
                  "end e"}},
        EventRow{"AttributesAcrossLines",
                 "<a\r\n  b = '1'\r\n  c = '2'\r\n  >",
                 {"start a [b=\"1\" c=\"2\"]", unclosedElements}},
        EventRow{"UnquotedValueThenOtherTagEnd",
                 "<a b=c>d</a>",
                 {missingString, missingEquals, "start a [b=\"\"]", badTagEnd, "end a"}},
        EventRow{"UnquotedValueThenGreaterThan",
                 "<a b=c>></a>",
                 {missingString, missingEquals, "start a [b=\"\"]", "end a"}},
        EventRow{"NameWithoutEquals",
                 "<a b>",
                 {missingEquals, "start a []", badTagEnd, unclosedElements}},
        EventRow{
            "EmptyNameIsStored", "<a ='x'/>", {missingIdentifier, "start a [=\"x\"]", "end a"}},
        EventRow{"NulInsideTag",
                 "<a\0>"s,
                 {missingIdentifier, missingEquals, "start a []", unclosedElements}}),
    rowName);

INSTANTIATE_TEST_SUITE_P(
    Values, XmlParserEvents,
    testing::Values(
        EventRow{"MarkupAndEntitiesAreLiteral",
                 "<a v='<b>&amp;\"'/>",
                 {"start a [v=\"<b>&amp;\"\"]", "end a"}},
        EventRow{
            "QuotationMarksHoldApostrophe", "<a v=\"it's\"/>", {"start a [v=\"it's\"]", "end a"}},
        EventRow{"LineEndsKept", "<a v='1\r\n2'/>", {"start a [v=\"1\r\n2\"]", "end a"}},
        EventRow{"Empty", "<a v=''/>", {"start a [v=\"\"]", "end a"}},
        EventRow{"WhiteSpaceInsideKept", "<a v=' 1 '/>", {"start a [v=\" 1 \"]", "end a"}},
        EventRow{
            "NulAndHighBytes", "<a v='\0\x80\xff'/>"s, {"start a [v=\"\0\x80\xff\"]"s, "end a"}},
        EventRow{"RunsToEndOfInput",
                 "<a v='abc",
                 {missingIdentifier, missingEquals, "start a [v=\"abc\"]", badTagEnd,
                  unclosedElements}}),
    rowName);

INSTANTIATE_TEST_SUITE_P(
    CharacterData, XmlParserEvents,
    testing::Values(
        EventRow{"LeadingWhiteSpaceSkippedTrailingKept",
                 "  hello  <a>",
                 {"chars hello  ", "start a", unclosedElements}},
        EventRow{"InsideElement", "<a>\r\n x y \r\n</a>", {"start a", "chars x y \r\n", "end a"}},
        EventRow{"WhiteSpaceOnlyIsNotReported", "<a> \r\n\t\v\f</a>", {"start a", "end a"}},
        EventRow{"EntitiesNotDecoded", "<a>&lt;&amp;</a>", {"start a", "chars &lt;&amp;", "end a"}},
        EventRow{"GreaterThanIsText", "<a>x>y</a>", {"start a", "chars x>y", "end a"}},
        EventRow{"WithoutAnyMarkup", "hello", {"chars hello"}},
        EventRow{"AfterEmptyElementAtTop", "<a/>tail", {"start a []", "end a", "chars tail"}},
        EventRow{"NulAndHighBytes", "\0\x80\xff \xc3\xa9"s, {"chars \0\x80\xff \xc3\xa9"s}}),
    rowName);

INSTANTIATE_TEST_SUITE_P(
    SkippedConstructs, XmlParserEvents,
    testing::Values(
        EventRow{"Declaration", "<?xml version=\"1.0\"?>", {}},
        EventRow{"DeclarationThenElement", "<?xml?><a/>", {"start a []", "end a"}},
        EventRow{"QuestionMarkTwiceDoesNotEnd", "<?x ?\?>y?>z", {"chars z"}},
        EventRow{"Comment", "<!-- note -->", {}}, EventRow{"EmptyComment", "<!---->x", {"chars x"}},
        EventRow{"CommentWithDoubleDash", "<!-- a -- b -->x", {"chars x"}},
        EventRow{"ThreeDashesDoNotEnd", "<!-- a --->x-->y", {"chars y"}},
        EventRow{"MarkupInsideComment", "<!-- <a> --><b/>", {"start b []", "end b"}},
        EventRow{"SingleDashSkipsNothingMore", "<!-x>", {"chars x>"}},
        EventRow{"Cdata", "<![CDATA[ x ]]>", {}},
        EventRow{"CdataContentsLost", "<a><![CDATA[<b>]]></a>", {"start a", "end a"}},
        EventRow{"ThreeBracketsDoNotEnd", "<![CDATA[x]]]>y]]>z", {"chars z"}},
        EventRow{"BrokenCdataKeyword", "<![CDATX[a]]>", {"chars X[a]]>"}},
        EventRow{"DocumentType", "<!DOCTYPE a [ <!ELEMENT a ANY> ] ><a/>", {"start a []", "end a"}},
        EventRow{"DocumentTypeWithoutBracketsRunsToBracket", "<!DOCTYPE a><b/>]>x", {"chars x"}},
        EventRow{"BracketWithoutCloseRestartsSearch", "<!D ] x ]\r\n>y", {"chars y"}},
        EventRow{"UnendedDeclaration", "<?x", {}},
        EventRow{"UnendedComment", "<a><!-- x", {"start a", unclosedElements}},
        EventRow{"UnendedCdata", "<![CDATA[ x ]", {}},
        EventRow{"UnendedDocumentType", "<!D x ]", {}}),
    rowName);

INSTANTIATE_TEST_SUITE_P(
    Errors, XmlParserEvents,
    testing::Values(EventRow{"UnmatchedEndTagFinishesDocument", "</a><b>", {unmatchedEndTag}},
                    EventRow{"LoneLessThan",
                             "<",
                             {missingIdentifier, missingIdentifier, missingEquals, "start  []",
                              badTagEnd, unclosedElements}},
                    EventRow{"OtherTagEndKeepsElementOpen",
                             "<a b='1'x",
                             {missingEquals, "start a [b=\"1\"]", badTagEnd, unclosedElements}},
                    EventRow{
                        "UnclosedReportedOnce", "<a><b>", {"start a", "start b", unclosedElements}},
                    EventRow{"UnclosedAfterInnerClosed",
                             "<a><b></b>",
                             {"start a", "start b", "end b", unclosedElements}}),
    rowName);

INSTANTIATE_TEST_SUITE_P(
    EndOfDocument, XmlParserEvents,
    testing::Values(EventRow{"EmptyInput", "", {}}, EventRow{"WhiteSpaceOnly", " \r\n\t", {}},
                    EventRow{"RestAfterRootIsNotRead", "<a></a>text<b></c>", {"start a", "end a"}},
                    EventRow{"EmptyElementAtTopDoesNotEndIt",
                             "<a/><b/>",
                             {"start a []", "end a", "start b []", "end b"}}),
    rowName);

std::string repeated(char c, std::size_t count) {
    return std::string(count, c);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, XmlParserEvents,
    testing::Values(EventRow{"LongestName",
                             "<" + repeated('n', 255) + "/>",
                             {"start " + repeated('n', 255) + " []", "end " + repeated('n', 255)}},
                    EventRow{"RestOfLongNameIsSkipped",
                             "<" + repeated('n', 300) + " b='1'/>",
                             {nameTooLong, "start " + repeated('n', 255) + " [b=\"1\"]",
                              "end " + repeated('n', 255)}},
                    EventRow{"LongAttributeName",
                             "<a " + repeated('b', 256) + "='1'/>",
                             {nameTooLong, "start a [" + repeated('b', 255) + "=\"1\"]", "end a"}},
                    EventRow{"LongestValue",
                             "<a v='" + repeated('v', 2047) + "'/>",
                             {"start a [v=\"" + repeated('v', 2047) + "\"]", "end a"}},
                    EventRow{"LongValueStillEndsAtItsQuote",
                             "<a v='" + repeated('v', 5000) + "' w='2'/>",
                             {valueTooLong, "start a [v=\"" + repeated('v', 2047) + "\" w=\"2\"]",
                              "end a"}},
                    EventRow{"LongestText",
                             repeated('t', 16387) + "<a/>",
                             {"chars " + repeated('t', 16387), "start a []", "end a"}},
                    EventRow{"LongTextIsCutAndReportedFirst",
                             repeated('t', 40000) + "<a/>",
                             {textTooLong, "chars " + repeated('t', 16387), "start a []", "end a"}},
                    EventRow{"EachLongRunReportedOnce",
                             "<a>" + repeated('t', 16388) + "<b/>" + repeated('u', 16388) + "</a>",
                             {"start a", textTooLong, "chars " + repeated('t', 16387), "start b []",
                              "end b", textTooLong, "chars " + repeated('u', 16387), "end a"}}),
    rowName);

// The document the settings writer produces for the settings of this moment.
std::string settingsDocument() {
    HeldSettings held;
    return settingsFileText(held.holders());
}

TEST(XmlParserSettingsDocument, StopsReadingAfterTheRootsEndTag) {
    std::istringstream input(settingsDocument() + "<extra/>");
    parseStream(input);
    std::string rest;
    std::getline(input, rest, '\0');
    EXPECT_EQ(rest, "\r\n<extra/>");
}

// atoi's reading of a value, with 32-bit wrap-around instead of undefined overflow.
struct IntRow {
    const char* name;
    std::string value;
    int expected;
};

class XmlElementAttributeInt : public testing::TestWithParam<IntRow> {};

class IntHandler : public XmlHandler {
public:
    void startElement(const XmlElement* element) override {
        for (auto it = element->begin(); it != element->end(); ++it) {
            values.push_back(element->attributeInt(it));
        }
    }
    std::vector<int> values;
};

TEST_P(XmlElementAttributeInt, ReadsLikeAtoi) {
    std::istringstream input("<a v=\"" + GetParam().value + "\"/>");
    XmlParser parser(input);
    auto handler = std::make_unique<IntHandler>();
    IntHandler& seen = *handler;
    parser.setHandler(std::move(handler));
    parser.parse();
    EXPECT_EQ(seen.values, std::vector<int>{GetParam().expected});
}

INSTANTIATE_TEST_SUITE_P(
    Values, XmlElementAttributeInt,
    testing::Values(IntRow{"Plain", "70", 70}, IntRow{"LeadingSpace", " 1", 1},
                    IntRow{"LeadingWhiteSpaceKinds", "\t\r\n\v\f-5", -5},
                    IntRow{"PlusSign", "+7", 7}, IntRow{"StopsAtLetter", "80abc", 80},
                    IntRow{"StopsAtSpace", "1 2", 1}, IntRow{"Empty", "", 0},
                    IntRow{"Word", "true", 0}, IntRow{"SignWithoutDigits", "-", 0},
                    IntRow{"SpaceAfterSign", "- 5", 0}, IntRow{"TwoSigns", "+-1", 0},
                    IntRow{"HexIsNotRead", "0x10", 0}, IntRow{"LeadingZeros", "007", 7},
                    IntRow{"MinusOne", "-1", -1}, IntRow{"Largest", "2147483647", INT_MAX},
                    IntRow{"Smallest", "-2147483648", INT_MIN},
                    IntRow{"OneAboveLargestWraps", "2147483648", INT_MIN},
                    IntRow{"LargestUnsignedIsAllOnes", "4294967295", -1},
                    IntRow{"TwoToThe32WrapsToZero", "4294967296", 0},
                    IntRow{"ManyDigitsWrap", "99999999999999999999", 1661992959},
                    IntRow{"NegativeWraps", "-12345678901", 539222987}),
    [](const testing::TestParamInfo<IntRow>& info) { return info.param.name; });

TEST(XmlElementTest, AttributeAccessFollowsTheMapOrder) {
    XmlElement element(
        "a", std::make_unique<AttributeMap>(AttributeMap{{"b", "2"}, {"a", "1"}, {"B", "x"}}));
    std::vector<std::string> seen;
    for (auto it = element.begin(); it != element.end(); ++it) {
        seen.push_back(element.attributeName(it) + "=" + element.attributeValue(it));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"B=x", "a=1", "b=2"}));
    EXPECT_EQ(element.attributeCount(), 3u);
}

TEST(XmlElementTest, NoMapGivesAnEmptyRange) {
    XmlElement element("a", nullptr);
    EXPECT_FALSE(element.hasAttributeMap());
    EXPECT_EQ(element.begin(), element.end());
    EXPECT_EQ(element.attributeCount(), 0u);
}

TEST(AttributeNameLessTest, ComparesBytesAsUnsigned) {
    const AttributeNameLess less;
    EXPECT_TRUE(less("\x7f", "\x80"));
    EXPECT_TRUE(less("a", "\xff"));
    EXPECT_FALSE(less("\xff", "a"));
    EXPECT_TRUE(less("a", "ab"));
    EXPECT_FALSE(less("ab", "ab"));
    EXPECT_TRUE(less("", "\0"s));
}

// Delivers the text, then throws the way a file buffer does when a read fails.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(std::string text)
        : text(std::move(text)) {
        setg(this->text.data(), this->text.data(), this->text.data() + this->text.size());
    }

protected:
    int_type underflow() override { throw std::ios_base::failure("read failed"); }

private:
    std::string text;
};

TEST(XmlParserStreamFailure, EndsTheDocumentAndIsReported) {
    FailingBuffer buffer("<a><b>");
    std::istream input(&buffer);
    EXPECT_EQ(parseStream(input),
              (std::vector<std::string>{"startDocument", "start a", "start b", readError,
                                        unclosedElements, "endDocument"}));
    EXPECT_TRUE(input.bad());
}

TEST(XmlParserStreamFailure, InTheMiddleOfANameEndsTheInput) {
    FailingBuffer buffer("<ab");
    std::istream input(&buffer);
    EXPECT_EQ(
        parseStream(input),
        (std::vector<std::string>{"startDocument", missingIdentifier, missingEquals, "start ab []",
                                  badTagEnd, readError, unclosedElements, "endDocument"}));
}

TEST(XmlParserStreamFailure, IsNotThrownEvenWhenTheStreamAsksForExceptions) {
    FailingBuffer buffer("<a>");
    std::istream input(&buffer);
    input.exceptions(std::ios_base::badbit | std::ios_base::eofbit);
    std::vector<std::string> events;
    EXPECT_NO_THROW(events = parseStream(input));
    EXPECT_EQ(events, (std::vector<std::string>{"startDocument", "start a", readError,
                                                unclosedElements, "endDocument"}));
}

TEST(XmlParserStreamFailure, EndOfInputOnAThrowingStreamIsNotAnError) {
    std::istringstream input("<a/>");
    input.exceptions(std::ios_base::badbit | std::ios_base::eofbit);
    std::vector<std::string> events;
    EXPECT_NO_THROW(events = parseStream(input));
    EXPECT_EQ(events,
              (std::vector<std::string>{"startDocument", "start a []", "end a", "endDocument"}));
    EXPECT_TRUE(input.eof());
}

TEST(XmlParserStreamFailure, AStreamAlreadyFailedIsNotRead) {
    std::istringstream input("<a/>");
    input.setstate(std::ios_base::failbit);
    EXPECT_EQ(parseStream(input),
              (std::vector<std::string>{"startDocument", readError, "endDocument"}));
}

// Counts events and checks nesting without keeping text, for very large documents.
class DepthHandler : public XmlHandler {
public:
    void startElement(const XmlElement* element) override {
        open.push_back(element);
        ++starts;
    }
    void endElement(const XmlElement* element) override {
        matched = matched && !open.empty() && open.back() == element;
        open.pop_back();
        ++ends;
    }
    void error(std::string_view message) override { errors.emplace_back(message); }

    std::vector<const XmlElement*> open;
    std::size_t starts = 0;
    std::size_t ends = 0;
    bool matched = true;
    std::vector<std::string> errors;
};

TEST(XmlParserDepth, AMillionNestedElementsOpenAndClose) {
    constexpr std::size_t depth = 1'000'000;
    std::string document;
    document.reserve(depth * 7);
    for (std::size_t i = 0; i < depth; ++i) {
        document += "<a>";
    }
    for (std::size_t i = 0; i < depth; ++i) {
        document += "</a>";
    }
    std::istringstream input(document);
    XmlParser parser(input);
    auto handler = std::make_unique<DepthHandler>();
    DepthHandler& seen = *handler;
    parser.setHandler(std::move(handler));
    parser.parse();
    EXPECT_EQ(seen.starts, depth);
    EXPECT_EQ(seen.ends, depth);
    EXPECT_TRUE(seen.matched);
    EXPECT_TRUE(seen.errors.empty());
}

TEST(XmlParserDepth, AMillionUnclosedElementsAreReleasedWithTheParser) {
    constexpr std::size_t depth = 1'000'000;
    std::string document;
    document.reserve(depth * 3);
    for (std::size_t i = 0; i < depth; ++i) {
        document += "<a>";
    }
    std::istringstream input(document);
    auto parser = std::make_unique<XmlParser>(input);
    auto handler = std::make_unique<DepthHandler>();
    DepthHandler& seen = *handler;
    parser->setHandler(std::move(handler));
    parser->parse();
    EXPECT_EQ(seen.starts, depth);
    EXPECT_EQ(seen.ends, 0u);
    EXPECT_EQ(seen.errors, std::vector<std::string>{"unclosed elements at end of document"});
    parser.reset();
}

TEST(XmlParserWithoutHandler, ParsesQuietly) {
    std::istringstream input("<a b=c><b>");
    XmlParser parser(input);
    parser.parse();
    EXPECT_TRUE(input.eof());
}

} // namespace
