// Feeds arbitrary bytes to the settings file's value form: any text read from a file is
// undone without growing, and any value written reads back exactly, on one line, with no
// apostrophe or control byte in its written form. A violation aborts, so libFuzzer keeps it.
#include "settings/SettingsFileEscape.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string written = escapeSettingsValue(input);
    if (unescapeSettingsValue(input).size() > size || unescapeSettingsValue(written) != input ||
        std::ranges::any_of(written,
                            [](unsigned char c) { return c < 32 || c == 127 || c == '\''; })) {
        std::abort();
    }
    return 0;
}
