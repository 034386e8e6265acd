#include "platform/qt/QtPlatform.h"

#include <QGuiApplication>

bool onOffscreenPlatform() {
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}
