// Feeds arbitrary bytes to the settings file's value form: any text read from a file is
// undone without trouble and never grows, and any value written reads back exactly, on one
// line, with no apostrophe or control byte left in its written form. Any violation aborts,
// so libFuzzer records the input.

#include "settings/SettingsFileEscape.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    check(unescapeSettingsValue(input).size() <= input.size());

    const std::string written = escapeSettingsValue(input);
    for (const char c : written) {
        const auto byte = static_cast<unsigned char>(c);
        check(byte >= 32 && byte != 127 && byte != '\'');
    }
    check(unescapeSettingsValue(written) == input);
    return 0;
}
