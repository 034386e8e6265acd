#include "settings/PictureSettingsDialog.h"

#include "base/ErrorBox.h"
#include "settings/PictureValues.h"
#include "settings/Settings.h"

#include <optional>
#include <string>

namespace {

using namespace pictureSettingsItem;

constexpr const char* isoPattern = "%Y-%m-%d %H:%M:%S";
constexpr const char* localePattern = "%x %X";

void fill(DialogHost& dialog) {
    dialog.setItemText(crop, Settings::getPictureCrop());
    dialog.setItemText(rotate, std::to_string(Settings::getPictureRotate()));
    dialog.setItemText(flip, std::to_string(Settings::getPictureFlip()));
    dialog.setItemText(width, Settings::getPictureWidth() == 0
                                  ? std::string()
                                  : std::to_string(Settings::getPictureWidth()));
    dialog.setItemText(textSize, std::to_string(Settings::getPictureTextSize()));
    dialog.setItemText(corner, std::to_string(Settings::getPictureCorner()));
    dialog.setItemText(dateFormat, Settings::getPictureDateFormat());
    dialog.setItemText(mode, std::to_string(Settings::getScheduleMode()));
    dialog.setItemText(from, Settings::getScheduleFrom());
    dialog.setItemText(to, Settings::getScheduleTo());
    dialog.setItemText(latitude, Settings::getScheduleLatitude());
    dialog.setItemText(longitude, Settings::getScheduleLongitude());
    dialog.setItemText(days, Settings::getScheduleDays());
}

// The values of the dialog once every one is checked.
struct Typed {
    std::string crop;
    int rotate = 0;
    int flip = 0;
    int width = 0;
    int textSize = 0;
    int corner = 0;
    std::string dateFormat;
    int mode = 0;
    std::string from;
    std::string to;
    std::string latitude;
    std::string longitude;
    std::string days;
};

// Reads the items into typed; at the first refused one, shows it and answers false.
class Reader {
public:
    Reader(DialogHost& dialog, int frameWidth, int frameHeight)
        : dialog(dialog)
        , frameWidth(frameWidth)
        , frameHeight(frameHeight) {}

    bool read(Typed& typed) {
        return text(crop, "Crop", isCrop(typed.crop = dialog.itemText(crop))) &&
               number(rotate, "Rotate", typed.rotate, PictureValues::isRotate) &&
               number(flip, "Flip", typed.flip, PictureValues::isFlip) &&
               number(width, "Width", typed.width, isTypedWidth, true) &&
               number(textSize, "Text size", typed.textSize, PictureValues::isTextSize, true) &&
               number(corner, "Corner", typed.corner, PictureValues::isCorner) &&
               text(dateFormat, "Date format",
                    PictureValues::isDateFormat(typed.dateFormat = dialog.itemText(dateFormat))) &&
               number(mode, "Mode", typed.mode, PictureValues::isMode) &&
               text(from, "From", PictureValues::isClock(typed.from = dialog.itemText(from))) &&
               text(to, "To", PictureValues::isClock(typed.to = dialog.itemText(to))) &&
               text(latitude, "Latitude",
                    PictureValues::isLatitude(typed.latitude = dialog.itemText(latitude))) &&
               text(longitude, "Longitude",
                    PictureValues::isLongitude(typed.longitude = dialog.itemText(longitude))) &&
               text(days, "Days", PictureValues::isDays(typed.days = dialog.itemText(days)));
    }

private:
    bool text(int itemId, const char* label, bool taken) const {
        if (!taken) {
            showErrorBox(std::string("::Illegal value::\n\n   ") + label + ": " +
                         dialog.itemText(itemId));
            dialog.focusItem(itemId);
        }
        return taken;
    }

    // An empty field reads as 0 where emptyIsZero; any other text must be a number that
    // check takes.
    bool number(int itemId, const char* label, int& value, bool (*check)(int),
                bool emptyIsZero = false) const {
        const std::string typed = dialog.itemText(itemId);
        if (emptyIsZero && typed.find_first_not_of(' ') == std::string::npos) {
            value = 0;
            return true;
        }
        const std::optional<int> read = PictureValues::parseNumber(typed);
        value = read.value_or(0);
        return text(itemId, label, read && check(*read));
    }

    // A typed width of 0 is no width; the camera's is the empty field.
    static bool isTypedWidth(int value) { return value != 0 && PictureValues::isWidth(value); }

    bool isCrop(const std::string& text) const {
        const auto rect = PictureValues::parseCrop(text);
        if (!rect || frameWidth <= 0 || frameHeight <= 0) {
            return PictureValues::isCrop(text);
        }
        const auto [x, y, w, h] = *rect;
        return x <= frameWidth - w && y <= frameHeight - h;
    }

    DialogHost& dialog;
    int frameWidth;
    int frameHeight;
};

void store(const Typed& typed) {
    Settings::setPictureCrop(typed.crop);
    Settings::setPictureRotate(typed.rotate);
    Settings::setPictureFlip(typed.flip);
    Settings::setPictureWidth(typed.width);
    Settings::setPictureTextSize(typed.textSize);
    Settings::setPictureCorner(typed.corner);
    Settings::setPictureDateFormat(typed.dateFormat);
    Settings::setScheduleMode(typed.mode);
    Settings::setScheduleFrom(typed.from);
    Settings::setScheduleTo(typed.to);
    Settings::setScheduleLatitude(typed.latitude);
    Settings::setScheduleLongitude(typed.longitude);
    Settings::setScheduleDays(typed.days);
}

} // namespace

DialogProcedure pictureSettingsDialog(int frameWidth, int frameHeight) {
    return [frameWidth, frameHeight](DialogHost& dialog, DialogMessage message, int commandId) {
        const auto read = [&](DialogHost& typed) {
            Typed values;
            if (!Reader(typed, frameWidth, frameHeight).read(values)) {
                return false;
            }
            store(values);
            return true;
        };
        if (storingDialogStep(dialog, message, commandId, fill, read)) {
            return true;
        }
        switch (commandId) {
        case isoDate:
            dialog.setItemText(dateFormat, isoPattern);
            return true;
        case localeDate:
            dialog.setItemText(dateFormat, localePattern);
            return true;
        case usualDate:
            dialog.setItemText(dateFormat, "");
            return true;
        default:
            return false;
        }
    };
}
