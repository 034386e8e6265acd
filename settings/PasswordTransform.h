#pragma once

#include <array>
#include <string>

// The shift applied to each password byte, by position modulo 25. Changing it makes every
// stored password unreadable.
inline constexpr std::array<int, 25> passwordKey = {1,  -1, 0,  1, -1, 1, 1,  0, -1, -1, 0, 1, 1,
                                                    -1, 0,  -1, 1, 1,  0, -1, 1, 0,  -1, 1, -1};

// Shifts byte i of text by direction * passwordKey[i % 25], modulo 256; direction +1 for
// writing, -1 for reading. Every byte is shifted, zero bytes included, since writing can
// turn a byte 1 or 255 into 0 and reading must turn it back.
std::string transformPassword(const std::string& text, int direction);
