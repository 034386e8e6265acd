#include "platform/DialogHost.h"

#include <limits>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isContinuationByte(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the UTF-8 sequence that lead starts, or 0 if lead cannot start one.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

} // namespace

void DialogHost::setItemUnsigned(int itemId, unsigned value) {
    setItemText(itemId, std::to_string(value));
}

unsigned DialogHost::readItemUnsigned(int itemId) const {
    return parseUnsigned(itemText(itemId));
}

std::string DialogHost::readItemText(int itemId, std::size_t bufferSize) const {
    std::string text = itemText(itemId);
    text.resize(cutLength(text, bufferSize == 0 ? 0 : bufferSize - 1));
    return text;
}

unsigned DialogHost::parseUnsigned(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return 0;
    }
    constexpr unsigned largest = std::numeric_limits<unsigned>::max();
    unsigned value = 0;
    bool tooLarge = false;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (value > (largest - digit) / 10) {
            tooLarge = true;
        } else {
            value = value * 10 + digit;
        }
    }
    return tooLarge ? largest : value;
}

std::size_t DialogHost::cutLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text.size();
    }
    // Find where the character that holds the first dropped byte starts; a well-formed
    // sequence is at most 4 bytes long.
    std::size_t start = maxBytes;
    while (start > 0 && maxBytes - start < 3 &&
           isContinuationByte(static_cast<unsigned char>(text[start]))) {
        --start;
    }
    if (start == maxBytes) {
        return maxBytes;
    }
    const std::size_t length = sequenceLength(static_cast<unsigned char>(text[start]));
    if (length == 0 || start + length <= maxBytes || start + length > text.size()) {
        return maxBytes;
    }
    for (std::size_t i = start + 1; i < start + length; ++i) {
        if (!isContinuationByte(static_cast<unsigned char>(text[i]))) {
            return maxBytes;
        }
    }
    return start;
}
