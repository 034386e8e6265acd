// Fuzzes what the dialogs make of typed text: the unsigned number read and the cut to a
// fixed buffer. Checks the number against a plain reference reading and that a cut of
// well-formed UTF-8 stays well-formed and loses less than one character.
#include "platform/DialogHost.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool isWellFormedUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
        } else if (lead >= 0x80) {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

unsigned referenceUnsigned(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return 0;
    }
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    unsigned long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 0xFFFFFFFFULL) {
            value = 0x100000000ULL;
        }
    }
    return value > 0xFFFFFFFFULL ? 0xFFFFFFFFU : static_cast<unsigned>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the buffer size; the rest is the text.
    const std::size_t maxBytes = data[0] % 96;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    if (DialogHost::parseUnsigned(text) != referenceUnsigned(text)) {
        std::abort();
    }
    const std::size_t length = DialogHost::cutLength(text, maxBytes);
    if (length > maxBytes || length > text.size()) {
        std::abort();
    }
    if (text.size() <= maxBytes && length != text.size()) {
        std::abort();
    }
    if (text.size() > maxBytes && isWellFormedUtf8(text) &&
        (!isWellFormedUtf8(text.substr(0, length)) || maxBytes - length > 3)) {
        std::abort();
    }
    return 0;
}
