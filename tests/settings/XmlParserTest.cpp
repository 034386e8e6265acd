#include "settings/XmlParser.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// The events as one line: <name a=1 b=2> for a start tag, </name> for its end, "text" for
// character data, !message for an error.
class EventLine : public XmlHandler {
public:
    explicit EventLine(std::string& line)
        : line(line) {}
    void startElement(const XmlElement* element) override {
        std::string tag = "<" + element->getName();
        for (auto at = element->begin(); at != element->end(); ++at) {
            tag += " " + element->attributeName(at) + "=" + element->attributeValue(at);
        }
        add(tag + ">");
    }
    void endElement(const XmlElement* element) override { add("</" + element->getName() + ">"); }
    void characters(std::string_view text) override { add("\"" + std::string(text) + "\""); }
    void error(std::string_view message) override { add("!" + std::string(message)); }

private:
    void add(const std::string& event) { line += (line.empty() ? "" : "|") + event; }
    std::string& line;
};

struct MarkupRow {
    const char* name;
    std::string document;
    std::string events;
};

class XmlParserEvents : public testing::TestWithParam<MarkupRow> {};

TEST_P(XmlParserEvents, AreReportedInDocumentOrder) {
    std::istringstream input(GetParam().document);
    std::string line;
    XmlParser parser(input);
    parser.setHandler(std::make_unique<EventLine>(line));
    parser.parse();
    EXPECT_EQ(line, GetParam().events);
}

const std::string missingName = "!missing start of identifier: expected a-z, A-Z, _ or :";
const std::string missingEquals = "!error in attribute; expecting '='";
const std::string unclosed = "!unclosed elements at end of document";

// clang-format off
INSTANTIATE_TEST_SUITE_P(XmlParser, XmlParserEvents, testing::Values(
    MarkupRow{"AttributesInByteOrderTheLaterOneWinning", "<a b='2' A=\"1\" b='3'/>",
              "<a A=1 b=3>|</a>"},
    MarkupRow{"ReferencesAreNotDecoded", "<a v='&amp;&#65;'>x&lt;</a>",
              "<a v=&amp;&#65;>|\"x&lt;\"|</a>"},
    MarkupRow{"LeadingWhiteSpaceSkippedAndTheLastEndTagEndsTheDocument",
              "<a> <b>  t </c></a><x/>", "<a>|<b>|\"t \"|</b>|</a>"},
    MarkupRow{"UnmatchedEndTag", "</a><x/>", "!Unmatched end tag"},
    MarkupRow{"UnclosedElements", "<a><b>", "<a>|<b>|" + unclosed},
    MarkupRow{"AttributeWithoutValue", "<a b/>", missingEquals + "|<a>|" + unclosed},
    MarkupRow{"UnquotedValue", "<a b=1/>",
              "!missing start of string: expected apostrophe or quotation mark|" + missingName +
              "|" + missingEquals + "|<a b=>|</a>"},
    MarkupRow{"InputEndsInTheAttributeList", "<a b='1'",
              missingName + "|" + missingEquals + "|<a b=1>|"
              "!error at end of attribute list; expecting \">\" or \"/\"|" + unclosed},
    MarkupRow{"NameCut", "<" + std::string(300, 'n') + "/>",
              "!identifier too long: cut to 255 characters|<" + std::string(255, 'n') + ">|</" +
              std::string(255, 'n') + ">"},
    MarkupRow{"ValueCut", "<a v='" + std::string(3000, 'v') + "'/>",
              "!string too long: cut to 2047 characters|<a v=" + std::string(2047, 'v') + ">|</a>"},
    MarkupRow{"TextCut", "<a>" + std::string(20000, 't') + "</a>",
              "<a>|!character data too long: cut to 16387 characters|\"" +
              std::string(16387, 't') + "\"|</a>"},
    MarkupRow{"CdataIsDropped", "<a><![CDATA[<b>x]]></a>", "<a>|</a>"},
    MarkupRow{"Comment", "<a><!-- <b> - -->x</a>", "<a>|\"x\"|</a>"},
    MarkupRow{"ACommentEndingInThreeDashesRunsOn", "<a><!-- x --->y</a>", "<a>|" + unclosed},
    MarkupRow{"DeclarationAndDocumentTypeAreSkipped",
              "<?xml version='1.0'?><!DOCTYPE a [<!ENTITY e 'x'>]><a/>", "<a>|</a>"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
