#include "settings/SettingsTable.h"

#include "base/HealthLine.h"
#include "settings/DeviceSettings.h"
#include "settings/PictureValues.h"
#include "settings/Settings.h"
#include "settings/WindowSettings.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <type_traits>

namespace {

template <typename Value> constexpr SettingKind kindOf() {
    if constexpr (std::is_same_v<Value, bool>) {
        return SettingKind::Bool;
    } else if constexpr (std::is_same_v<Value, std::int32_t>) {
        return SettingKind::Signed;
    } else if constexpr (std::is_same_v<Value, std::uint32_t>) {
        return SettingKind::Unsigned;
    } else {
        static_assert(std::is_same_v<Value, std::string>);
        return SettingKind::Text;
    }
}

// A key of the store, by its getter and setter; the kind follows the getter's type.
template <auto get, auto set, typename Value = std::remove_cvref_t<decltype(get())>>
constexpr Setting stored(std::string_view section, std::string_view key,
                         SettingKind kind = kindOf<Value>()) {
    return {
        section, key, kind,
        Setting::StoreAccessors{[] { return SettingValue(get()); },
                                [](const SettingValue& value) { set(std::get<Value>(value)); }}};
}

template <typename Getter> struct MemberGetter;
template <typename Value, typename Holder> struct MemberGetter<Value (Holder::*)()> {
    using Class = Holder;
    using Result = Value;
};
template <typename Value, typename Holder> struct MemberGetter<Value (Holder::*)() const> {
    using Class = Holder;
    using Result = Value;
};

// A key that a holder keeps, by the getter and setter of its interface.
template <auto get, auto set, typename Holder = typename MemberGetter<decltype(get)>::Class,
          typename Value = std::remove_cvref_t<typename MemberGetter<decltype(get)>::Result>>
constexpr Setting held(std::string_view section, std::string_view key) {
    return {
        section, key, kindOf<Value>(),
        Setting::HeldAccessors<Holder>{[](Holder& holder) { return SettingValue((holder.*get)()); },
                                       [](Holder& holder, const SettingValue& value) {
                                           (holder.*set)(std::get<Value>(value));
                                       }}};
}

// A section and key spelled "section key", as a template argument.
template <std::size_t size> struct KeyName {
    char text[size];
    constexpr KeyName(const char (&name)[size]) { std::copy_n(name, size, text); }
};

std::string shown(std::int32_t value) {
    return std::to_string(value);
}
std::string shown(const std::string& value) {
    return value;
}

// A key of the store that the file may only set to a value the check takes: any other
// value is left out, with one line on standard error.
template <auto get, auto set, auto check, KeyName name,
          typename Value = std::remove_cvref_t<decltype(get())>>
constexpr Setting checked(std::string_view section, std::string_view key) {
    return {section, key, kindOf<Value>(),
            Setting::StoreAccessors{[] { return SettingValue(get()); },
                                    [](const SettingValue& value) {
                                        const Value& given = std::get<Value>(value);
                                        if (check(given)) {
                                            set(given);
                                        } else {
                                            HealthLine::writeLine(
                                                std::string("kavriWebCam: settings file: ") +
                                                name.text + " '" + shown(given) + "' ignored");
                                        }
                                    }}};
}

// The overlay draws its text up to the first zero byte, and the file keeps so much.
std::string textOverlayUpToZero() {
    return Settings::getTextOverlay().c_str();
}

using S = Settings;
using W = WindowSettings;
using D = DeviceSettings;
using P = PictureValues;

constexpr std::array table{
    stored<S::getSaveSettingsOnExit, S::setSaveSettingsOnExit>("program", "savesettingsonexit"),
    held<&W::getZoomIndex, &W::setZoomIndex>("program", "windowzoom"),
    held<&W::getPositionX, &W::setPositionX>("program", "windowpositionX"),
    held<&W::getPositionY, &W::setPositionY>("program", "windowpositionY"),
    stored<S::getFps, S::setFps>("capture", "fps"),
    stored<S::getMaxFps, S::setMaxFps>("capture", "maxfps"),
    held<&D::getDeviceName, &D::setDeviceName>("capture", "devicename"),
    held<&D::getDeviceIndex, &D::setDeviceIndex>("capture", "devicenumber"),
    stored<S::getJpegFile, S::setJpegFile>("image", "jpegfile"),
    stored<S::getJpegQuality, S::setJpegQuality>("image", "jpegquality"),
    stored<S::getUpdate, S::setUpdate>("image", "update"),
    stored<S::getDateTimeOverlay, S::setDateTimeOverlay>("image", "datetimeoverlay"),
    stored<textOverlayUpToZero, S::setTextOverlay>("image", "textoverlay"),
    stored<S::getTextColor, S::setTextColor>("image", "textcolor"),
    stored<S::getBackColor, S::setBackColor>("image", "backcolor"),
    stored<S::getHost, S::setHost>("network", "host"),
    stored<S::getPort, S::setPort>("network", "port"),
    stored<S::getSaveTo, S::setSaveTo>("network", "saveto"),
    stored<S::getUser, S::setUser>("network", "user"),
    stored<S::getPassword, S::setPassword>("network", "password", SettingKind::Password),
    stored<S::getActive, S::setActive>("network", "active"),
    stored<S::getStopOnError, S::setStopOnError>("network", "stoponerror"),
    stored<S::getUsePassive, S::setUsePassive>("network", "usepassive"),
    stored<S::getLiveActive, S::setLiveActive>("liveview", "active"),
    stored<S::getLiveAddress, S::setLiveAddress>("liveview", "address"),
    stored<S::getLivePort, S::setLivePort>("liveview", "port"),
    stored<S::getLiveUser, S::setLiveUser>("liveview", "user"),
    stored<S::getLivePassword, S::setLivePassword>("liveview", "password", SettingKind::Password),
    stored<S::getLiveCertFile, S::setLiveCertFile>("liveview", "certfile"),
    stored<S::getLiveKeyFile, S::setLiveKeyFile>("liveview", "keyfile"),
    stored<S::getLiveViewers, S::setLiveViewers>("liveview", "viewers"),
    checked<S::getPictureCrop, S::setPictureCrop, P::isCrop, "picture crop">("picture", "crop"),
    checked<S::getPictureRotate, S::setPictureRotate, P::isRotate, "picture rotate">("picture",
                                                                                     "rotate"),
    checked<S::getPictureFlip, S::setPictureFlip, P::isFlip, "picture flip">("picture", "flip"),
    checked<S::getPictureWidth, S::setPictureWidth, P::isWidth, "picture width">("picture",
                                                                                 "width"),
    checked<S::getPictureTextSize, S::setPictureTextSize, P::isTextSize, "picture textsize">(
        "picture", "textsize"),
    checked<S::getPictureCorner, S::setPictureCorner, P::isCorner, "picture corner">("picture",
                                                                                     "corner"),
    checked<S::getPictureDateFormat, S::setPictureDateFormat, P::isDateFormat,
            "picture dateformat">("picture", "dateformat"),
    checked<S::getScheduleMode, S::setScheduleMode, P::isMode, "schedule mode">("schedule", "mode"),
    checked<S::getScheduleFrom, S::setScheduleFrom, P::isClock, "schedule from">("schedule",
                                                                                 "from"),
    checked<S::getScheduleTo, S::setScheduleTo, P::isClock, "schedule to">("schedule", "to"),
    checked<S::getScheduleLatitude, S::setScheduleLatitude, P::isLatitude, "schedule latitude">(
        "schedule", "latitude"),
    checked<S::getScheduleLongitude, S::setScheduleLongitude, P::isLongitude, "schedule longitude">(
        "schedule", "longitude"),
    checked<S::getScheduleDays, S::setScheduleDays, P::isDays, "schedule days">("schedule", "days"),
    stored<S::getArchiveActive, S::setArchiveActive>("archive", "active"),
    stored<S::getArchivePattern, S::setArchivePattern>("archive", "pattern"),
    stored<S::getArchiveKeepDays, S::setArchiveKeepDays>("archive", "keepdays"),
    stored<S::getArchiveKeepMb, S::setArchiveKeepMb>("archive", "keepmb"),
    stored<S::getArchiveRemote, S::setArchiveRemote>("archive", "remote"),
    stored<S::getArchiveTimeLapse, S::setArchiveTimeLapse>("archive", "timelapse"),
    stored<S::getArchiveFps, S::setArchiveFps>("archive", "fps"),
    stored<S::getArchiveCrf, S::setArchiveCrf>("archive", "crf"),
    stored<S::getArchiveVideo, S::setArchiveVideo>("archive", "video"),
};

} // namespace

SettingValue Setting::get(const SettingsHolders& holders) const {
    if (const auto* store = std::get_if<StoreAccessors>(&accessors)) {
        return store->get();
    }
    if (const auto* window = std::get_if<HeldAccessors<WindowSettings>>(&accessors)) {
        return window->get(holders.window);
    }
    return std::get<HeldAccessors<DeviceSettings>>(accessors).get(holders.device);
}

void Setting::set(const SettingsHolders& holders, const SettingValue& value) const {
    if (const auto* store = std::get_if<StoreAccessors>(&accessors)) {
        store->set(value);
    } else if (const auto* window = std::get_if<HeldAccessors<WindowSettings>>(&accessors)) {
        window->set(holders.window, value);
    } else {
        std::get<HeldAccessors<DeviceSettings>>(accessors).set(holders.device, value);
    }
}

std::span<const Setting> settingsTable() {
    return table;
}

const Setting* findSetting(std::string_view section, std::string_view key) {
    for (const Setting& setting : table) {
        if (setting.section == section && setting.key == key) {
            return &setting;
        }
    }
    return nullptr;
}
