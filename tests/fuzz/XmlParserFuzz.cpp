// Feeds arbitrary bytes to XmlParser and checks that the document starts first and ends
// last and that every endElement gets the innermost open element, which can still be read.
// A violation aborts, so libFuzzer keeps the input.
#include "settings/XmlElement.h"
#include "settings/XmlHandler.h"
#include "settings/XmlParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
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
    void endDocument() override { check(state++ == 1); }
    void startElement(const XmlElement* element) override {
        check(state == 1 && element->getName().size() <= XmlParser::maxNameLength);
        open.push_back(element);
    }
    void endElement(const XmlElement* element) override {
        check(state == 1 && !open.empty() && open.back() == element);
        check(element->getName().size() <= XmlParser::maxNameLength);
        open.pop_back();
    }

private:
    int state = 0;
    std::vector<const XmlElement*> open;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    XmlParser parser(input);
    parser.setHandler(std::make_unique<ProtocolHandler>());
    parser.parse();
    return 0;
}
