#include "qt/QtIcons.h"

#include "res/AppIcon.h"
#include "res/Icons.h"

QPixmap iconPixmap(int iconId, int sizePx) {
    const auto xpm = findIconXpm(iconId, sizePx);
    if (xpm.empty()) {
        return {};
    }
    return QPixmap(xpm.data());
}

QIcon applicationIcon() {
    QIcon icon;
    for (const AppIconImage& image : appIconImages()) {
        QPixmap pixmap;
        if (pixmap.loadFromData(image.png.data(), static_cast<unsigned>(image.png.size()), "PNG")) {
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}
