// Fuzzes what the dialogs make of typed text: the unsigned number read (against a plain
// reading) and the cut to a fixed buffer, which keeps whole what fits and never takes more.
#include "platform/DialogHost.h"

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
    const std::size_t digits = text.find_first_not_of("0123456789");
    if (!text.empty() && digits == std::string_view::npos && text.size() < 10 &&
        DialogHost::parseUnsigned(text) != std::stoul(std::string(text))) {
        std::abort();
    }
    const std::size_t length = DialogHost::cutLength(text, maxBytes);
    if (length > maxBytes || length > text.size() ||
        (text.size() <= maxBytes && length != text.size()) ||
        length + 3 < std::min(maxBytes, text.size())) {
        std::abort();
    }
    return 0;
}
