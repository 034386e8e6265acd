#include "qt/QtPlatform.h"

#include <QGuiApplication>

#include <cstdlib>
#include <string>

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

bool choosePlatformFromEnvironment() {
    if (isSet("QT_QPA_PLATFORM")) {
        return false;
    }
    // Qt tries the platforms in turn, so a display that is named but cannot be opened (a
    // stale DISPLAY under a service manager, say) falls through to the next.
    std::string platforms;
    if (isSet("DISPLAY")) {
        platforms += "xcb;";
    }
    if (isSet("WAYLAND_DISPLAY")) {
        platforms += "wayland;";
    }
    platforms += "offscreen";
    setenv("QT_QPA_PLATFORM", platforms.c_str(), 1);
    return true;
}

bool onOffscreenPlatform() {
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

bool onWaylandPlatform() {
    // "wayland", "wayland-egl" and the other flavours of Qt's Wayland plugin.
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
