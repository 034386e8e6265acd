#pragma once

#include "settings/DeviceSettings.h"
#include "settings/SettingsTable.h"
#include "settings/WindowSettings.h"

// The keys of the settings file that the main window and the capture object hold, kept in
// plain fields with their values at start-up, for the settings file's tests and benchmark,
// which need neither a window nor a device.
class HeldSettings : public WindowSettings, public DeviceSettings {
public:
    int getZoomIndex() const override { return zoomIndex; }
    void setZoomIndex(int index) override { zoomIndex = index; }
    int getPositionX() override { return positionX; }
    int getPositionY() override { return positionY; }
    void setPositionX(int x) override { positionX = x; }
    void setPositionY(int y) override { positionY = y; }
    std::string getDeviceName() const override { return deviceName; }
    void setDeviceName(const std::string& name) override { deviceName = name; }
    std::int32_t getDeviceIndex() const override { return deviceIndex; }
    void setDeviceIndex(std::int32_t index) override { deviceIndex = index; }

    SettingsHolders holders() { return {*this, *this}; }

    int zoomIndex = 3;
    int positionX = 0;
    int positionY = 0;
    std::string deviceName;
    std::int32_t deviceIndex = 0;
};
