#include "qt/QtIcons.h"

#include "res/Icons.h"

QPixmap iconPixmap(int iconId, int sizePx) {
    const auto xpm = findIconXpm(iconId, sizePx);
    if (xpm.empty()) {
        return {};
    }
    return QPixmap(xpm.data());
}

QIcon programIcon(int iconId) {
    QIcon icon;
    for (const int sizePx : {16, 32}) {
        if (const QPixmap pixmap = iconPixmap(iconId, sizePx); !pixmap.isNull()) {
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}
