// Feeds arbitrary bytes to the settings file's value form: any text read from a file is
// undone without growing, and any value written reads back exactly, on one line, with no
// apostrophe or control byte in its written form. A violation aborts, so libFuzzer keeps it.
#include "settings/SettingsFileEscape.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string written = escapeSettingsValue(input);
    bool good =
        unescapeSettingsValue(input).size() <= size && unescapeSettingsValue(written) == input;
    for (const char c : written) {
        good = good && static_cast<unsigned char>(c) >= 32 && c != 127 && c != '\'';
    }
    if (!good) {
        std::abort();
    }
    return 0;
}
