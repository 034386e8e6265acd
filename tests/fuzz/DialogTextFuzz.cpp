// Fuzzes what the dialogs make of typed text: a number of digits only reads as itself (up to
// the largest unsigned), and the cut to a fixed buffer keeps whole what fits, never takes
// more, and loses less than one character.
#include "platform/DialogHost.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the buffer size; the rest is the text.
    const std::size_t maxBytes = data[0] % 96;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == text.npos;
    const std::size_t length = DialogHost::cutLength(text, maxBytes);
    if ((digitsOnly && text.size() < 10 &&
         DialogHost::parseUnsigned(text) != std::stoul(std::string(text))) ||
        length > std::min(maxBytes, text.size()) || length + 3 < std::min(maxBytes, text.size())) {
        std::abort();
    }
    return 0;
}
