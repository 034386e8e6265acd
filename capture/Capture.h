#pragma once

#include "base/HealthLine.h"
#include "capture/CaptureService.h"
#include "image/GrabSettings.h"
#include "image/Overlay.h"
#include "settings/DeviceSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The program's one capture window and the driver connected to it. It lists the capture
// drivers, connects one (falling back to the first that connects), keeps the driver's
// capabilities and the image size for the main window, opens the driver's dialogs and
// grabs single frames: the driver writes the frame to "_temp.dib", which the frame chain
// turns into the JPEG file the grab is told.
//
// Every capture message goes to the service only while the capture window exists; a
// skipped message counts as the result 0.
class Capture : public DeviceSettings {
public:
    static constexpr int windowId = 303;
    static constexpr int driverIndexCount = 10;
    static constexpr HealthWords jpegHealthWords{"JPEG file", "cannot be written", "written again"};

    // Creates the capture window (160 x 120 at the parent's origin) through service, which
    // must outlive this object. A window that cannot be created is not reported: every
    // capture message is then skipped. The JPEG file's health line goes to jpegHealth
    // (standard error when empty).
    Capture(CaptureService& service, const ParentWindow& parent, HealthLine::Sink jpegHealth = {});
    virtual ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // Lists the drivers and connects the one at deviceIndex, or the first that connects.
    // Throws NoDeviceException when none does.
    void initialize();
    // Looks for the drivers again and refills the device names with the descriptions of the
    // drivers 0 to 9 that have one. The device index follows the connected driver to its new
    // position.
    const std::vector<std::string>& enumerateDevices();
    // Connects the driver at position requested of the device names, or else the first that
    // connects, and sets the device index and name from it. Throws NoDeviceException when
    // none connects.
    void connect(std::int32_t requested);
    // Preview rate 1000 / fps ms and frame period 1000000 / fps us; 0 changes nothing.
    void setFrameRate(std::uint32_t fps);
    void resizeWindow(int width, int height);
    // The driver's Format dialog; status follows a changed image size.
    void showFormatDialog();
    void showSourceDialog();
    void showDisplayDialog();
    // Grabs one frame into "_temp.dib" and writes settings' JPEG file from it. Returns the
    // path of the JPEG file written; nothing when the driver could not save the frame, the
    // file is no image or the JPEG file could not be written. The preview runs again anyway.
    // Whether the files can be written is told on the JPEG file's health line.
    std::optional<std::string> grabFrame(const GrabSettings& settings);
    // Stops and disconnects the driver and deletes "_temp.dib"; only the first call acts.
    void close();

    // The device in use: its position among the device names and its name, also stored.
    std::string getDeviceName() const override { return deviceName_; }
    void setDeviceName(const std::string& name) override { deviceName_ = name; }
    std::int32_t getDeviceIndex() const override { return deviceIndex_; }
    void setDeviceIndex(std::int32_t index) override { deviceIndex_ = index; }
    // What the connected driver offers, and its image size.
    const DriverCaps& driverCaps() const { return driverCaps_; }
    const CaptureStatus& status() const { return status_; }
    // The drivers found by the last enumerateDevices.
    const std::vector<std::string>& deviceNames() const { return deviceNames_; }

private:
    std::intptr_t send(CaptureMessage message, std::uintptr_t wParam = 0, CaptureParam lParam = {});
    bool tryConnect(std::int32_t position);
    std::optional<std::intptr_t> captureWindowProc(MouseMessage message, std::uintptr_t wParam,
                                                   std::intptr_t lParam);

    static constexpr const char* tempFileName = "_temp.dib";

    CaptureService& service_;
    CaptureWindow captureWindow_ = 0;
    ParentWindow parentWindow_;
    CaptureParms captureParms_;
    std::int32_t deviceIndex_ = 0;
    std::string deviceName_;
    std::vector<std::string> deviceNames_;
    DriverCaps driverCaps_;
    CaptureStatus status_;
    bool closed_ = false;
    // Made once: it finds and loads the overlay font.
    Overlay overlay_;
    HealthLine jpegHealth_;
};
