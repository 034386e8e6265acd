// Feeds arbitrary bytes to XmlParser and checks the event protocol on every event: the
// document starts first and ends last, once each; every endElement gets the innermost open
// element; every open element can still be read; limits and map order hold. Any violation
// aborts, so libFuzzer records the input.

#include "settings/XmlElement.h"
#include "settings/XmlHandler.h"
#include "settings/XmlParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ios>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::string_view unclosedElements = "unclosed elements at end of document";

class ProtocolHandler : public XmlHandler {
public:
    ~ProtocolHandler() override { check(ended); }

    void startDocument() override {
        check(!started && !ended);
        started = true;
    }
    void endDocument() override {
        touchOpenElements();
        check(!ended);
        check(open.empty() == (lastError != unclosedElements));
        ended = true;
    }
    void startElement(const XmlElement* element) override {
        touchOpenElements();
        check(element != nullptr && element->getName().size() <= XmlParser::maxNameLength);
        const std::string* previous = nullptr;
        std::string name;
        for (auto it = element->begin(); it != element->end(); ++it) {
            name = element->attributeName(it);
            check(name.size() <= XmlParser::maxNameLength);
            check(element->attributeValue(it).size() <= XmlParser::maxValueLength);
            sink += element->attributeInt(it);
            if (previous != nullptr) {
                check(AttributeNameLess{}(*previous, name));
            }
            previous = &it->first;
        }
        check(element->hasAttributeMap() || element->begin() == element->end());
        open.push_back(element);
    }
    void endElement(const XmlElement* element) override {
        touchOpenElements();
        check(!open.empty() && open.back() == element);
        open.pop_back();
    }
    void characters(std::string_view text) override {
        touchOpenElements();
        check(!text.empty() && text.size() <= XmlParser::maxTextLength);
    }
    void error(std::string_view message) override {
        touchOpenElements();
        check(!message.empty());
        lastError = message;
    }

private:
    // Every event happens inside the document, and every open element is still alive.
    void touchOpenElements() {
        check(started && !ended);
        for (const XmlElement* element : open) {
            sink += element->getName().size() + element->attributeCount();
        }
    }

    bool started = false;
    bool ended = false;
    std::vector<const XmlElement*> open;
    std::string lastError;
    std::size_t sink = 0;
};

// Serves the bytes, then either ends or fails the way a file buffer does on a read error.
class FuzzBuffer : public std::streambuf {
public:
    FuzzBuffer(const char* data, std::size_t size, bool failAtEnd)
        : failAtEnd(failAtEnd) {
        char* begin = const_cast<char*>(data);
        setg(begin, begin, begin + size);
    }

protected:
    int_type underflow() override {
        if (failAtEnd) {
            throw std::ios_base::failure("read failed");
        }
        return traits_type::eof();
    }

private:
    bool failAtEnd;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The last byte, when odd, makes the stream fail instead of ending; it is still parsed.
    const bool failAtEnd = size > 0 && (data[size - 1] & 1) != 0;
    FuzzBuffer buffer(reinterpret_cast<const char*>(data), size, failAtEnd);
    std::istream input(&buffer);
    XmlParser parser(input);
    parser.setHandler(std::make_unique<ProtocolHandler>());
    parser.parse();
    return 0;
}
