#include "res/Bitmaps.h"

#include "res/AboutBitmap.xpm"

std::span<const char* const> findBitmapXpm(int bitmapId) {
    if (bitmapId == aboutBitmapId) {
        return aboutBitmapXpm;
    }
    return {};
}
