#include "settings/PasswordTransform.h"

#include <cstddef>

std::string transformPassword(const std::string& text, int direction) {
    std::string result(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int shift = direction * passwordKey[i % passwordKey.size()];
        result[i] = static_cast<char>((static_cast<unsigned char>(text[i]) + shift) & 0xFF);
    }
    return result;
}
