#pragma once

#include <string_view>

// The program's string table.
inline constexpr int titleStringId = 103;
inline constexpr int classNameStringId = 109;

// The string with the given id; empty when there is none.
std::string_view findString(int stringId);
