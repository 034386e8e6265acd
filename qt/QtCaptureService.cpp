#include "qt/QtCaptureService.h"

#include "platform/WindowTypes.h"
#include "qt/QtPreviewWidget.h"

QtCaptureService::QtCaptureService(DriverFinder findDrivers, bool previewShown)
    : DriverCaptureService(std::move(findDrivers), *this, dialogs_)
    , dialogs_([this] { return previewWindow(); })
    , previewShown_(previewShown) {}

QWidget* QtCaptureService::previewWindow() const {
    std::lock_guard lock(previewMutex_);
    return preview_ != nullptr ? preview_->window() : nullptr;
}

QtCaptureService::~QtCaptureService() {
    while (!widgets_.empty()) {
        // Its destroy handler removes it from the map and releases the driver.
        QPointer<QtPreviewWidget> widget = widgets_.begin()->second;
        if (widget) {
            delete widget.data();
        } else {
            widgets_.erase(widgets_.begin());
        }
    }
}

CaptureWindow QtCaptureService::createCaptureWindow(const std::string& windowName,
                                                    std::uint32_t style, int x, int y, int width,
                                                    int height, const ParentWindow& parent,
                                                    int id) {
    auto* parentWidget = static_cast<QWidget*>(parent.native);
    if (parentWidget == nullptr) {
        return 0;
    }
    const CaptureWindow window = DriverCaptureService::createCaptureWindow(
        windowName, style, x, y, width, height, parent, id);
    if (window == 0) {
        return 0;
    }
    auto* widget = new QtPreviewWidget(parentWidget);
    widget->setGeometry(x, y, width, height);
    widget->setMouseHandler(
        [this, window](MouseMessage message, std::uintptr_t wParam, std::intptr_t lParam) {
            return mouseMessage(window, message, wParam, lParam);
        });
    widget->setDestroyHandler([this, window, widget] { widgetGone(window, widget); });
    widgets_[window] = widget;
    {
        std::lock_guard lock(previewMutex_);
        preview_ = widget;
    }
    if (style & windowStyle::WS_VISIBLE) {
        widget->show();
    }
    return window;
}

void QtCaptureService::widgetGone(CaptureWindow window, QtPreviewWidget* widget) {
    {
        std::lock_guard lock(previewMutex_);
        if (preview_ == widget) {
            preview_ = nullptr;
        }
    }
    widgets_.erase(window);
    // Stops the driver's preview thread, so no frame reaches the widget from now on.
    destroyWindow(window);
}

void QtCaptureService::resizeWindow(CaptureWindow window, int width, int height) {
    DriverCaptureService::resizeWindow(window, width, height);
    if (const auto found = widgets_.find(window); found != widgets_.end() && found->second) {
        found->second->resize(width, height);
    }
}

bool QtCaptureService::wantsFrames() const {
    std::lock_guard lock(previewMutex_);
    return previewShown_ && preview_ != nullptr && preview_->wantsFrames();
}

void QtCaptureService::showFrame(const Surface& frame, int windowWidth, int windowHeight,
                                 bool stretch) {
    std::lock_guard lock(previewMutex_);
    if (previewShown_ && preview_ != nullptr) {
        preview_->showFrame(frame, windowWidth, windowHeight, stretch);
    }
}
