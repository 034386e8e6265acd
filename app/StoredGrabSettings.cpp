#include "app/StoredGrabSettings.h"

#include "settings/Settings.h"

GrabSettings storedGrabSettings() {
    return GrabSettings{Settings::getJpegFile(),
                        static_cast<int>(Settings::getJpegQuality()),
                        Settings::getDateTimeOverlay(),
                        Settings::getTextOverlay(),
                        {Settings::getTextColor(), Settings::getBackColor()},
                        PictureOptions::fromSettings()};
}
