// Fuzzes what the dialogs make of typed text: the unsigned number read, and the cut to a
// fixed buffer, which keeps whole what fits and never takes more.
#include "platform/DialogHost.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte picks the buffer size; the rest is the text.
    const std::size_t maxBytes = size > 0 ? data[0] % 96 : 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    DialogHost::parseUnsigned(text.substr(size > 0 ? 1 : 0));
    const std::size_t length = DialogHost::cutLength(text.substr(size > 0 ? 1 : 0), maxBytes);
    if (length > maxBytes || (size - 1 <= maxBytes && size > 0 && length != size - 1)) {
        std::abort();
    }
    return 0;
}
