// Feeds arbitrary bytes to XmlParser with the settings file's own handler, as loading a
// settings file does; the sanitizers report any read of a freed or overrun element.
#include "settings/SettingsFileHandler.h"
#include "settings/XmlParser.h"
#include "tests/support/HeldSettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HeldSettings held;
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    XmlParser parser(input);
    parser.setHandler(std::make_unique<SettingsFileHandler>(held.holders()));
    parser.parse();
    return 0;
}
