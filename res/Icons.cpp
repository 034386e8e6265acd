#include "res/Icons.h"

#include "res/Icons.xpm"

std::span<const char* const> findIconXpm(int iconId, int sizePx) {
    if (sizePx == 32) {
        return iconId == programIconId ? std::span<const char* const>(programIcon32Xpm)
                                       : std::span<const char* const>();
    }
    if (sizePx != 16) {
        return {};
    }
    switch (iconId) {
    case programIconId:
        return programIcon16Xpm;
    case idleIconId:
        return idleIconXpm;
    case runningIconId:
        return runningIconXpm;
    case blinkIconId:
        return blinkIconXpm;
    case grabbingIconId:
        return grabbingIconXpm;
    default:
        return {};
    }
}
