#include "settings/SettingsFileEscape.h"

#include <cstddef>
#include <optional>

namespace {

struct CharacterReference {
    unsigned char byte;
    std::size_t length;
};

// "&#" + one to three decimal digits + ";" with a value of at most 255, at position.
std::optional<CharacterReference> referenceAt(std::string_view text, std::size_t position) {
    constexpr std::size_t maxDigits = 3;
    if (text.substr(position, 2) != "&#") {
        return std::nullopt;
    }
    std::size_t end = position + 2;
    unsigned value = 0;
    while (end < text.size() && end - position - 2 < maxDigits && text[end] >= '0' &&
           text[end] <= '9') {
        value = value * 10 + static_cast<unsigned>(text[end] - '0');
        ++end;
    }
    if (end == position + 2 || end >= text.size() || text[end] != ';' || value > 255) {
        return std::nullopt;
    }
    return CharacterReference{static_cast<unsigned char>(value), end + 1 - position};
}

bool needsReference(std::string_view text, std::size_t position) {
    const auto byte = static_cast<unsigned char>(text[position]);
    return byte < 32 || byte == 127 || byte == '\'' ||
           (byte == '&' && referenceAt(text, position).has_value());
}

} // namespace

std::string escapeSettingsValue(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (needsReference(text, i)) {
            escaped += "&#";
            escaped += std::to_string(static_cast<unsigned char>(text[i]));
            escaped += ';';
        } else {
            escaped += text[i];
        }
    }
    return escaped;
}

std::string unescapeSettingsValue(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (const auto reference = referenceAt(text, i)) {
            plain += static_cast<char>(reference->byte);
            i += reference->length;
        } else {
            plain += text[i];
            ++i;
        }
    }
    return plain;
}
