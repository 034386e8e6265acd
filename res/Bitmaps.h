#pragma once

#include <span>

// The program's bitmaps, as XPM data (header line, colour lines, one string per row).
inline constexpr int aboutBitmapId = 142;

// The XPM lines of the bitmap with the given id; empty when there is none.
std::span<const char* const> findBitmapXpm(int bitmapId);
