// Feeds arbitrary bytes to XmlParser and checks that every endElement gets the innermost
// open element, which can still be read. A violation aborts, so libFuzzer keeps the input.
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

class NestingHandler : public XmlHandler {
public:
    void startElement(const XmlElement* element) override { open.push_back(element); }
    void endElement(const XmlElement* element) override {
        if (open.empty() || open.back() != element ||
            element->getName().size() > XmlParser::maxNameLength) {
            std::abort();
        }
        open.pop_back();
    }

private:
    std::vector<const XmlElement*> open;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    XmlParser parser(input);
    parser.setHandler(std::make_unique<NestingHandler>());
    parser.parse();
    return 0;
}
