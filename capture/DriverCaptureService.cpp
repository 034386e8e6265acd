#include "capture/DriverCaptureService.h"

#include "capture/DibFile.h"
#include "settings/Settings.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace {

template <typename Record> Record* recordOf(const CaptureParam& param) {
    const auto* record = std::get_if<Record*>(&param);
    return record ? *record : nullptr;
}

} // namespace

void DriverCaptureService::WindowPreview::showFrame(const Surface& frame) {
    std::lock_guard lock(mutex_);
    sink_.showFrame(frame, width_, height_, stretch_);
}

std::optional<FrameSize> DriverCaptureService::WindowPreview::stretchedSize() const {
    std::lock_guard lock(mutex_);
    return stretch_ ? std::optional<FrameSize>(FrameSize{width_, height_}) : std::nullopt;
}

void DriverCaptureService::WindowPreview::resize(int newWidth, int newHeight) {
    std::lock_guard lock(mutex_);
    width_ = newWidth;
    height_ = newHeight;
}

void DriverCaptureService::WindowPreview::setStretch(bool on) {
    std::lock_guard lock(mutex_);
    stretch_ = on;
}

DriverCaptureService::DriverCaptureService(DriverFinder findDrivers, PreviewSink& preview,
                                           CaptureDialogs& dialogs)
    : findDrivers_(std::move(findDrivers))
    , drivers_(this->findDrivers_())
    , preview_(preview)
    , dialogs_(dialogs) {}

DriverCaptureService::DriverCaptureService(std::vector<std::unique_ptr<CaptureDriver>> fixed,
                                           PreviewSink& preview, CaptureDialogs& dialogs)
    : DriverCaptureService([list = std::vector<std::shared_ptr<CaptureDriver>>(
                                std::make_move_iterator(fixed.begin()),
                                std::make_move_iterator(fixed.end()))] { return list; },
                           preview, dialogs) {}

DriverCaptureService::~DriverCaptureService() {
    for (auto& [handle, window] : windows_) {
        disconnect(window);
    }
}

CaptureWindow DriverCaptureService::createCaptureWindow(const std::string&, std::uint32_t, int, int,
                                                        int width, int height, const ParentWindow&,
                                                        int) {
    const CaptureWindow handle = nextWindow_++;
    Window& window = windows_[handle];
    window.preview = std::make_unique<WindowPreview>(preview_, width, height);
    return handle;
}

std::optional<std::string> DriverCaptureService::getDriverDescription(std::uint32_t index,
                                                                      std::size_t bufferBytes) {
    if (index >= drivers_.size() || bufferBytes == 0) {
        return std::nullopt;
    }
    const std::string& description = drivers_[index]->description();
    return description.substr(0, std::min(description.size(), bufferBytes - 1));
}

std::optional<std::uint32_t> DriverCaptureService::refreshDrivers(CaptureWindow handle) {
    std::vector<std::shared_ptr<CaptureDriver>> found = findDrivers_();
    for (const auto& entry : windows_) {
        const std::shared_ptr<CaptureDriver>& inUse = entry.second.driver;
        if (!inUse) {
            continue;
        }
        const auto again = std::find_if(found.begin(), found.end(), [&](const auto& driver) {
            return driver == inUse || driver->isSameDevice(*inUse);
        });
        if (again != found.end()) {
            *again = inUse;
        } else {
            const auto was = std::find(drivers_.begin(), drivers_.end(), inUse);
            const auto place = std::min(was - drivers_.begin(), found.end() - found.begin());
            found.insert(found.begin() + place, inUse);
        }
    }
    drivers_ = std::move(found);
    const auto window = windows_.find(handle);
    if (window == windows_.end() || !window->second.driver) {
        return std::nullopt;
    }
    const auto index = std::find(drivers_.begin(), drivers_.end(), window->second.driver);
    return static_cast<std::uint32_t>(index - drivers_.begin());
}

bool DriverCaptureService::isWindow(CaptureWindow window) {
    return windows_.contains(window);
}

void DriverCaptureService::resizeWindow(CaptureWindow handle, int width, int height) {
    if (auto found = windows_.find(handle); found != windows_.end()) {
        found->second.preview->resize(width, height);
    }
}

void DriverCaptureService::hookWindow(CaptureWindow handle, WindowHook hook) {
    if (auto found = windows_.find(handle); found != windows_.end()) {
        found->second.hook = std::move(hook);
    }
}

std::optional<std::intptr_t> DriverCaptureService::mouseMessage(CaptureWindow handle,
                                                                MouseMessage message,
                                                                std::uintptr_t wParam,
                                                                std::intptr_t lParam) {
    auto found = windows_.find(handle);
    if (found == windows_.end() || !found->second.hook) {
        return std::nullopt;
    }
    return found->second.hook(message, wParam, lParam);
}

void DriverCaptureService::destroyWindow(CaptureWindow handle) {
    if (auto found = windows_.find(handle); found != windows_.end()) {
        disconnect(found->second);
        windows_.erase(found);
    }
}

std::intptr_t DriverCaptureService::connect(Window& window, std::uint32_t index) {
    if (index >= drivers_.size()) {
        return 0;
    }
    const std::shared_ptr<CaptureDriver> driver = drivers_[index];
    const bool inOtherWindow =
        std::any_of(windows_.begin(), windows_.end(), [&](const auto& entry) {
            return &entry.second != &window && entry.second.driver == driver;
        });
    if (inOtherWindow) {
        return 0;
    }
    if (window.driver == driver) {
        return 1;
    }
    disconnect(window);
    if (!driver->open()) {
        return 0;
    }
    window.driver = driver;
    window.grabbed.reset();
    restoreRemembered(*driver);
    driver->setFramePeriod(std::chrono::microseconds(window.parms.dwRequestMicroSecPerFrame));
    updatePreview(window);
    return 1;
}

void DriverCaptureService::disconnect(Window& window) {
    if (window.driver == nullptr) {
        return;
    }
    window.driver->stopPreview();
    window.driver->close();
    window.driver.reset();
    window.grabbed.reset();
}

void DriverCaptureService::updatePreview(Window& window) {
    if (window.driver == nullptr) {
        return;
    }
    window.driver->stopPreview();
    if (window.previewOn) {
        window.driver->startPreview(*window.preview, window.previewRate);
    }
}

bool DriverCaptureService::formatDialog(Window& window) {
    CaptureDriver& driver = *window.driver;
    const std::vector<FrameSize> sizes = driver.frameSizes();
    if (sizes.empty()) {
        return false;
    }
    const auto inUse = std::find(sizes.begin(), sizes.end(), driver.frameSize());
    const auto current = static_cast<std::size_t>(inUse == sizes.end() ? 0 : inUse - sizes.begin());
    const auto chosen = dialogs_.chooseFrameSize(driver.description(), sizes, current);
    if (chosen && *chosen < sizes.size() && sizes[*chosen] != driver.frameSize() &&
        driver.setFrameSize(sizes[*chosen])) {
        if (const auto identity = driver.identity()) {
            RememberedCamera& remembered = Settings::rememberCamera(*identity);
            remembered.width = sizes[*chosen].width;
            remembered.height = sizes[*chosen].height;
        }
    }
    return true;
}

bool DriverCaptureService::sourceDialog(Window& window) {
    CaptureDriver& driver = *window.driver;
    const std::vector<CameraControl> controls = driver.controls();
    if (controls.empty()) {
        return false;
    }
    // What the camera shows follows the dialog; a cancelled dialog puts back what it changed.
    std::vector<std::int32_t> shown;
    for (const CameraControl& control : controls) {
        shown.push_back(control.value);
    }
    const auto show = [&](std::size_t position, std::int32_t value) {
        if (position < controls.size() && value != shown[position] &&
            driver.setControl(controls[position].id, value)) {
            shown[position] = value;
        }
    };
    const auto values = dialogs_.editControls(driver.description(), controls, show);
    const bool accepted = values && values->size() == controls.size();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        show(i, accepted ? (*values)[i] : controls[i].value);
    }
    const auto identity = driver.identity();
    for (std::size_t i = 0; accepted && identity && i < controls.size(); ++i) {
        if (shown[i] != controls[i].value) {
            Settings::rememberCamera(*identity).controls[controls[i].id] = shown[i];
        }
    }
    return true;
}

// A camera opened again gets the size and the controls set for it before.
void DriverCaptureService::restoreRemembered(CaptureDriver& driver) {
    const auto identity = driver.identity();
    const RememberedCamera* remembered = identity ? Settings::findCamera(*identity) : nullptr;
    if (remembered == nullptr) {
        return;
    }
    const FrameSize size{remembered->width, remembered->height};
    if (size.width > 0 && size != driver.frameSize()) {
        driver.setFrameSize(size);
    }
    for (const CameraControl& control : driver.controls()) {
        const auto value = remembered->controls.find(control.id);
        if (value != remembered->controls.end() && value->second != control.value) {
            driver.setControl(control.id, value->second);
        }
    }
}

std::intptr_t DriverCaptureService::sendMessage(CaptureWindow handle, CaptureMessage message,
                                                std::uintptr_t wParam, CaptureParam lParam) {
    auto found = windows_.find(handle);
    if (found == windows_.end()) {
        return 0;
    }
    Window& window = found->second;
    if (const auto answer = driverMessage(window, message, wParam, lParam)) {
        return *answer;
    }
    if (const auto answer = previewMessage(window, message, wParam)) {
        return *answer;
    }
    return frameMessage(window, message, lParam);
}

std::optional<std::intptr_t> DriverCaptureService::driverMessage(Window& window,
                                                                 CaptureMessage message,
                                                                 std::uintptr_t wParam,
                                                                 const CaptureParam& lParam) {
    const bool connected = window.driver != nullptr;
    switch (message) {
    case CaptureMessage::WM_CAP_SET_CALLBACK_FRAME:
    case CaptureMessage::WM_CAP_SET_CALLBACK_VIDEOSTREAM:
        // No callbacks into the program: only "none" is accepted.
        return std::holds_alternative<std::monostate>(lParam) ? 1 : 0;
    case CaptureMessage::WM_CAP_DRIVER_CONNECT:
        return connect(window, static_cast<std::uint32_t>(std::min<std::uintptr_t>(
                                   wParam, std::numeric_limits<std::uint32_t>::max())));
    case CaptureMessage::WM_CAP_DRIVER_DISCONNECT:
        disconnect(window);
        return connected ? 1 : 0;
    case CaptureMessage::WM_CAP_DRIVER_GET_CAPS:
        if (auto* caps = recordOf<DriverCaps>(lParam); caps && connected) {
            *caps = DriverCaps{};
            caps->fHasDlgVideoFormat = !window.driver->frameSizes().empty();
            caps->fHasDlgVideoSource = !window.driver->controls().empty();
            caps->fHasDlgVideoDisplay = false;
            return 1;
        }
        return 0;
    case CaptureMessage::WM_CAP_DLG_VIDEOFORMAT:
        return connected && formatDialog(window) ? 1 : 0;
    case CaptureMessage::WM_CAP_DLG_VIDEOSOURCE:
        return connected && sourceDialog(window) ? 1 : 0;
    case CaptureMessage::WM_CAP_DLG_VIDEODISPLAY:
        return 0;
    default:
        return std::nullopt;
    }
}

std::optional<std::intptr_t> DriverCaptureService::previewMessage(Window& window,
                                                                  CaptureMessage message,
                                                                  std::uintptr_t wParam) {
    switch (message) {
    case CaptureMessage::WM_CAP_SET_PREVIEW:
        window.previewOn = wParam != 0;
        updatePreview(window);
        return 1;
    case CaptureMessage::WM_CAP_SET_PREVIEWRATE:
        window.previewRate = std::chrono::milliseconds(wParam);
        if (window.previewOn) {
            updatePreview(window);
        }
        return 1;
    case CaptureMessage::WM_CAP_SET_SCALE:
        window.scale = wParam != 0;
        window.preview->setStretch(window.scale);
        return 1;
    default:
        return std::nullopt;
    }
}

std::intptr_t DriverCaptureService::frameMessage(Window& window, CaptureMessage message,
                                                 const CaptureParam& lParam) {
    switch (message) {
    case CaptureMessage::WM_CAP_FILE_SAVEDIBA: {
        const auto* name = std::get_if<const char*>(&lParam);
        if (name == nullptr || *name == nullptr || !window.grabbed) {
            return 0;
        }
        return writeDibFile(*window.grabbed, *name) ? 1 : 0;
    }
    case CaptureMessage::WM_CAP_GET_STATUS:
        return getStatus(window, recordOf<CaptureStatus>(lParam)) ? 1 : 0;
    case CaptureMessage::WM_CAP_GRAB_FRAME:
        return grabFrame(window) ? 1 : 0;
    case CaptureMessage::WM_CAP_SET_SEQUENCE_SETUP:
        return setSequenceSetup(window, recordOf<CaptureParms>(lParam)) ? 1 : 0;
    case CaptureMessage::WM_CAP_GET_SEQUENCE_SETUP:
        if (auto* parms = recordOf<CaptureParms>(lParam)) {
            *parms = window.parms;
            return 1;
        }
        return 0;
    case CaptureMessage::WM_CAP_STOP:
        // Only single frames are grabbed, so there is never a capture sequence to stop.
        return 1;
    default:
        return 0;
    }
}

bool DriverCaptureService::getStatus(Window& window, CaptureStatus* status) {
    if (status == nullptr) {
        return false;
    }
    *status = CaptureStatus{};
    if (window.driver != nullptr) {
        const FrameSize size = window.driver->frameSize();
        status->uiImageWidth = static_cast<std::uint32_t>(size.width);
        status->uiImageHeight = static_cast<std::uint32_t>(size.height);
    }
    return true;
}

bool DriverCaptureService::grabFrame(Window& window) {
    // A single-frame grab ends the preview until it is switched on again.
    window.previewOn = false;
    updatePreview(window);
    // The last frame's memory is handed back for the new one.
    if (window.driver != nullptr && window.driver->grab(window.grabbed)) {
        return true;
    }
    window.grabbed.reset();
    return false;
}

bool DriverCaptureService::setSequenceSetup(Window& window, const CaptureParms* parms) {
    if (parms == nullptr) {
        return false;
    }
    window.parms = *parms;
    if (window.driver != nullptr) {
        window.driver->setFramePeriod(
            std::chrono::microseconds(window.parms.dwRequestMicroSecPerFrame));
    }
    return true;
}
