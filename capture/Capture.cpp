#include "capture/Capture.h"

#include "base/Exception.h"
#include "image/Dib.h"
#include "image/FrameChain.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

const char* const noDeviceMessage = "Capture:: There is no capture-device available.";

} // namespace

Capture::Capture(CaptureService& service, const ParentWindow& parent, HealthLine::Sink jpegHealth)
    : service_(service)
    , parentWindow_(parent)
    , jpegHealth_(jpegHealthWords, std::chrono::steady_clock::now, std::move(jpegHealth)) {
    // "TerkCaptureWindow" is the program's own name for its capture window.
    captureWindow_ =
        service_.createCaptureWindow("TerkCaptureWindow", CaptureService::childVisibleStyle, 0, 0,
                                     160, 120, parentWindow_, windowId);
    if (captureWindow_ != 0) {
        service_.hookWindow(captureWindow_, [this](MouseMessage message, std::uintptr_t wParam,
                                                   std::intptr_t lParam) {
            return captureWindowProc(message, wParam, lParam);
        });
    }
}

Capture::~Capture() {
    close();
}

std::intptr_t Capture::send(CaptureMessage message, std::uintptr_t wParam, CaptureParam lParam) {
    if (!service_.isWindow(captureWindow_)) {
        return 0;
    }
    return service_.sendMessage(captureWindow_, message, wParam, lParam);
}

// Mouse input over the preview belongs to the main window (dragging, the context menu,
// the double-click grab); the right button's release stays with the capture window.
std::optional<std::intptr_t> Capture::captureWindowProc(MouseMessage message, std::uintptr_t wParam,
                                                        std::intptr_t lParam) {
    switch (message) {
    case MouseMessage::WM_MOUSEMOVE:
    case MouseMessage::WM_LBUTTONDOWN:
    case MouseMessage::WM_LBUTTONUP:
    case MouseMessage::WM_LBUTTONDBLCLK:
    case MouseMessage::WM_RBUTTONDOWN:
    case MouseMessage::WM_MBUTTONDOWN:
        if (parentWindow_.mouse) {
            return parentWindow_.mouse(message, wParam, lParam);
        }
        return std::nullopt;
    case MouseMessage::WM_RBUTTONUP:
        return std::nullopt;
    }
    return std::nullopt;
}

void Capture::initialize() {
    enumerateDevices();
    connect(deviceIndex_);
}

const std::vector<std::string>& Capture::enumerateDevices() {
    const std::optional<std::uint32_t> connected = service_.refreshDrivers(captureWindow_);
    deviceNames_.clear();
    for (std::uint32_t index = 0; index < driverIndexCount; ++index) {
        if (auto name = service_.getDriverDescription(index, CaptureService::descriptionBytes)) {
            deviceNames_.push_back(std::move(*name));
        }
    }
    if (connected && *connected < deviceNames_.size()) {
        deviceIndex_ = static_cast<std::int32_t>(*connected);
    }
    return deviceNames_;
}

bool Capture::tryConnect(std::int32_t position) {
    return send(CaptureMessage::WM_CAP_DRIVER_CONNECT, static_cast<std::uintptr_t>(position)) != 0;
}

void Capture::connect(std::int32_t requested) {
    const auto count = static_cast<std::int32_t>(deviceNames_.size());
    bool connected = false;
    if (requested >= 0 && requested < count) {
        connected = tryConnect(requested);
        deviceIndex_ = requested;
        deviceName_ = deviceNames_[static_cast<std::size_t>(requested)];
    }
    if (!connected) {
        if (count == 0) {
            throw NoDeviceException(noDeviceMessage);
        }
        for (std::int32_t position = 0; position < count && !connected; ++position) {
            if (tryConnect(position)) {
                connected = true;
                deviceIndex_ = position;
                deviceName_ = deviceNames_[static_cast<std::size_t>(position)];
            }
        }
        if (!connected) {
            throw NoDeviceException(noDeviceMessage);
        }
    }

    send(CaptureMessage::WM_CAP_SET_SCALE, 1);
    send(CaptureMessage::WM_CAP_SET_PREVIEW, 1);
    send(CaptureMessage::WM_CAP_SET_CALLBACK_VIDEOSTREAM);
    send(CaptureMessage::WM_CAP_SET_CALLBACK_FRAME);
    send(CaptureMessage::WM_CAP_GET_SEQUENCE_SETUP, 0, &captureParms_);
    captureParms_.fYield = true;
    captureParms_.fAbortLeftMouse = false;
    captureParms_.fAbortRightMouse = false;
    captureParms_.fStepCaptureAt2x = false;
    send(CaptureMessage::WM_CAP_SET_SEQUENCE_SETUP, 0, &captureParms_);
    send(CaptureMessage::WM_CAP_DRIVER_GET_CAPS, 0, &driverCaps_);
    send(CaptureMessage::WM_CAP_GET_STATUS, 0, &status_);
}

void Capture::setFrameRate(std::uint32_t fps) {
    if (fps == 0) {
        return;
    }
    send(CaptureMessage::WM_CAP_SET_PREVIEWRATE, 1000 / fps);
    send(CaptureMessage::WM_CAP_GET_SEQUENCE_SETUP, 0, &captureParms_);
    captureParms_.dwRequestMicroSecPerFrame = 1000000 / fps;
    send(CaptureMessage::WM_CAP_SET_SEQUENCE_SETUP, 0, &captureParms_);
}

void Capture::resizeWindow(int width, int height) {
    service_.resizeWindow(captureWindow_, width, height);
}

void Capture::showFormatDialog() {
    send(CaptureMessage::WM_CAP_DLG_VIDEOFORMAT);
    send(CaptureMessage::WM_CAP_GET_STATUS, 0, &status_);
}

void Capture::showSourceDialog() {
    send(CaptureMessage::WM_CAP_DLG_VIDEOSOURCE);
}

void Capture::showDisplayDialog() {
    send(CaptureMessage::WM_CAP_DLG_VIDEODISPLAY);
}

std::optional<std::string> Capture::grabFrame(const GrabSettings& settings) {
    const bool grabbed = send(CaptureMessage::WM_CAP_GRAB_FRAME) != 0;
    errno = 0;
    const bool saved = send(CaptureMessage::WM_CAP_FILE_SAVEDIBA, 0, tempFileName) != 0;
    const int saveError = errno;
    send(CaptureMessage::WM_CAP_SET_PREVIEW, 1);
    if (!saved) {
        // A frame that cannot be put in its file (a full disk under the working directory)
        // leaves the JPEG file unwritten as much as one that cannot be encoded.
        if (grabbed) {
            jpegHealth_.failed(std::string(tempFileName) + ": " +
                               std::strerror(saveError ? saveError : EIO));
        }
        return std::nullopt;
    }
    Dib dib(tempFileName);
    if (!dib.isValid()) {
        return std::nullopt;
    }
    if (!saveFrameAsJpeg(dib, settings, overlay_)) {
        jpegHealth_.failed(settings.jpegFile + ": " + std::strerror(errno));
        return std::nullopt;
    }
    jpegHealth_.succeeded();
    return settings.jpegFile;
}

void Capture::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    send(CaptureMessage::WM_CAP_SET_PREVIEW, 0);
    send(CaptureMessage::WM_CAP_STOP);
    send(CaptureMessage::WM_CAP_DRIVER_DISCONNECT);
    std::error_code ignored;
    std::filesystem::remove(tempFileName, ignored);
}
