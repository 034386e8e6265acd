#pragma once

#include <cstdint>
#include <string>

// The keys of the settings file that the capture object holds: the device last connected
// (devicename, devicenumber). The settings file reaches them through this, so it knows
// nothing else of the capture object.
class DeviceSettings {
public:
    virtual std::string getDeviceName() const = 0;
    virtual void setDeviceName(const std::string& name) = 0;
    // The device's position in the device list.
    virtual std::int32_t getDeviceIndex() const = 0;
    virtual void setDeviceIndex(std::int32_t index) = 0;

protected:
    ~DeviceSettings() = default;
};
