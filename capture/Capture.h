#pragma once

#include "base/HealthLine.h"
#include "capture/CaptureService.h"
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
// turns into the JPEG file.
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
    // capture message is then skipped.
    Capture(CaptureService& service, const ParentWindow& parent);
    virtual ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // Lists the drivers and connects the one at deviceIndex, or the first that connects.
    // Throws NoDeviceException when none does.
    void initialize();
    // Looks for the drivers again and refills deviceNames with the descriptions of the
    // drivers 0 to 9 that have one. deviceIndex follows the connected driver to its new
    // position.
    const std::vector<std::string>& enumerateDevices();
    // Connects the driver at position requested of deviceNames, or else the first that
    // connects, and sets deviceIndex and deviceName from it. Throws NoDeviceException
    // when none connects.
    void connect(std::int32_t requested);
    // Preview rate 1000 / fps ms and frame period 1000000 / fps us; 0 changes nothing.
    void setFrameRate(std::uint32_t fps);
    void resizeWindow(int width, int height);
    // The driver's Format dialog; status follows a changed image size.
    void showFormatDialog();
    void showSourceDialog();
    void showDisplayDialog();
    // Grabs one frame into "_temp.dib" and writes the JPEG file from it with the image
    // settings of this moment. False when the driver could not save the frame, the file
    // is no image or the JPEG file could not be written; the preview runs again anyway.
    // Whether the files can be written is told on the JPEG file's health line.
    bool grabFrame();
    // Stops and disconnects the driver and deletes "_temp.dib"; only the first call acts.
    void close();

    std::string getDeviceName() const override { return deviceName; }
    void setDeviceName(const std::string& name) override { deviceName = name; }
    std::int32_t getDeviceIndex() const override { return deviceIndex; }
    void setDeviceIndex(std::int32_t index) override { deviceIndex = index; }

    std::int32_t deviceIndex = 0;
    DriverCaps driverCaps;
    CaptureStatus status;
    std::vector<std::string> deviceNames;

private:
    std::intptr_t send(CaptureMessage message, std::uintptr_t wParam = 0, CaptureParam lParam = {});
    bool tryConnect(std::int32_t position);
    std::optional<std::intptr_t> captureWindowProc(MouseMessage message, std::uintptr_t wParam,
                                                   std::intptr_t lParam);

    CaptureService& service;
    CaptureWindow captureWindow = 0;
    ParentWindow parentWindow;
    CaptureParms captureParms;
    std::string tempFileName = "_temp.dib";
    std::string deviceName;
    bool closed = false;
    // Made once: it finds and loads the overlay font.
    Overlay overlay;
    HealthLine jpegHealth{jpegHealthWords};
};
