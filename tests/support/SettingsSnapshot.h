#pragma once

#include "settings/Settings.h"

#include <cstdint>
#include <string>

// Every value of the process-wide settings store, taken when made and put back when
// destroyed, so that a test can change settings freely without leaking them into the next.
class SettingsSnapshot {
public:
    SettingsSnapshot() = default;
    ~SettingsSnapshot() {
        Settings::setSaveSettingsOnExit(saveSettingsOnExit);
        Settings::setFps(fps);
        Settings::setMaxFps(maxFps);
        Settings::setJpegFile(jpegFile);
        Settings::setJpegQuality(jpegQuality);
        Settings::setUpdate(update);
        Settings::setDateTimeOverlay(dateTimeOverlay);
        Settings::setTextOverlay(textOverlay);
        Settings::setTextColor(textColor);
        Settings::setBackColor(backColor);
        Settings::setHost(host);
        Settings::setPort(port);
        Settings::setSaveTo(saveTo);
        Settings::setUser(user);
        Settings::setPassword(password);
        Settings::setActive(active);
        Settings::setStopOnError(stopOnError);
        Settings::setUsePassive(usePassive);
    }
    SettingsSnapshot(const SettingsSnapshot&) = delete;
    SettingsSnapshot& operator=(const SettingsSnapshot&) = delete;

private:
    bool saveSettingsOnExit = Settings::getSaveSettingsOnExit();
    int fps = Settings::getFps();
    int maxFps = Settings::getMaxFps();
    std::string jpegFile = Settings::getJpegFile();
    unsigned jpegQuality = Settings::getJpegQuality();
    unsigned update = Settings::getUpdate();
    bool dateTimeOverlay = Settings::getDateTimeOverlay();
    std::string textOverlay = Settings::getTextOverlay();
    std::uint32_t textColor = Settings::getTextColor();
    std::uint32_t backColor = Settings::getBackColor();
    std::string host = Settings::getHost();
    unsigned port = Settings::getPort();
    std::string saveTo = Settings::getSaveTo();
    std::string user = Settings::getUser();
    std::string password = Settings::getPassword();
    bool active = Settings::getActive();
    bool stopOnError = Settings::getStopOnError();
    bool usePassive = Settings::getUsePassive();
};
