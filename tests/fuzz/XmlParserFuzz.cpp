// Feeds arbitrary bytes to XmlParser, from a stream that either ends or fails the way a file
// does on a read error, and checks the events: the document starts first and ends last,
// every endElement gets the innermost open element, and every open element can still be
// read. A violation aborts, so libFuzzer keeps the input.
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
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

class ProtocolHandler : public XmlHandler {
public:
    ~ProtocolHandler() override { check(state == 2); }
    void startDocument() override { check(state++ == 0); }
    void endDocument() override { inside(), ++state; }
    void startElement(const XmlElement* element) override {
        inside();
        for (auto it = element->begin(); it != element->end(); ++it) {
            check(element->attributeValue(it).size() <= XmlParser::maxValueLength);
        }
        open.push_back(element);
    }
    void endElement(const XmlElement* element) override {
        inside();
        check(!open.empty() && open.back() == element);
        open.pop_back();
    }
    void characters(std::string_view text) override { inside(), check(!text.empty()); }
    void error(std::string_view message) override { inside(), check(!message.empty()); }

private:
    void inside() {
        check(state == 1);
        for (const XmlElement* element : open) {
            sink += element->getName().size() + element->attributeCount();
        }
    }

    int state = 0;
    std::vector<const XmlElement*> open;
    std::size_t sink = 0;
};

class FuzzBuffer : public std::streambuf {
public:
    FuzzBuffer(const std::uint8_t* data, std::size_t size)
        : fail(size > 0 && (data[size - 1] & 1) != 0) {
        char* begin = reinterpret_cast<char*>(const_cast<std::uint8_t*>(data));
        setg(begin, begin, begin + size);
    }

protected:
    int_type underflow() override {
        if (fail) {
            throw std::ios_base::failure("read failed");
        }
        return traits_type::eof();
    }

private:
    bool fail;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzBuffer buffer(data, size);
    std::istream input(&buffer);
    XmlParser parser(input);
    parser.setHandler(std::make_unique<ProtocolHandler>());
    parser.parse();
    return 0;
}
