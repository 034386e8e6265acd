#include "app/StoredGrabSettings.h"

#include "settings/PictureValues.h"
#include "settings/Settings.h"

GrabSettings storedGrabSettings() {
    return GrabSettings{Settings::getJpegFile(),
                        static_cast<int>(Settings::getJpegQuality()),
                        Settings::getDateTimeOverlay(),
                        Settings::getTextOverlay(),
                        {Settings::getTextColor(), Settings::getBackColor()},
                        storedPictureOptions()};
}

PictureOptions storedPictureOptions() {
    PictureOptions options;
    if (const auto crop = PictureValues::parseCrop(Settings::getPictureCrop())) {
        options.crop = PictureRect{(*crop)[0], (*crop)[1], (*crop)[2], (*crop)[3]};
    }
    options.rotate = Settings::getPictureRotate();
    options.flip = Settings::getPictureFlip();
    options.width = Settings::getPictureWidth();
    options.textSizePerMille = Settings::getPictureTextSize();
    options.corner = static_cast<StampCorner>(Settings::getPictureCorner());
    options.dateFormat = Settings::getPictureDateFormat();
    return options;
}
