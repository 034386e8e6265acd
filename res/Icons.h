#pragma once

#include <span>

// The program's icons, as XPM data (header line, colour lines, one string per row), each
// image of 16 colours at most.
inline constexpr int programIconId = 107;
// The tray pictures: the lens without a light, with a green, a white or a red light.
inline constexpr int idleIconId = 108;
inline constexpr int runningIconId = 140;
inline constexpr int blinkIconId = 141;
inline constexpr int grabbingIconId = 142;

// The XPM lines of the image of icon iconId that is sizePx x sizePx pixels; empty when
// there is none. Icon 107 has a 32 x 32 and a 16 x 16 image, the others 16 x 16 only.
std::span<const char* const> findIconXpm(int iconId, int sizePx);
