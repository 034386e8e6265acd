#pragma once

#include <span>

// One image of the application icon (res/appicon/kavriwebcam.svg, rendered by
// scripts/make-app-icon): its size and its PNG file's bytes.
struct AppIconImage {
    int sizePx;
    std::span<const unsigned char> png;
};

// Every image of the application icon, smallest first, from 16 x 16 to 256 x 256.
std::span<const AppIconImage> appIconImages();
