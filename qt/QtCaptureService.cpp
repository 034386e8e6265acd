#include "qt/QtCaptureService.h"

#include "platform/WindowTypes.h"
#include "qt/QtPreviewWidget.h"

QtCaptureService::QtCaptureService(const ServiceFactory& makeService)
    : dialogs([this] { return previewWindow(); })
    , drivers(makeService(*this, dialogs)) {}

QWidget* QtCaptureService::previewWindow() const {
    std::lock_guard lock(previewMutex);
    return preview != nullptr ? preview->window() : nullptr;
}

QtCaptureService::~QtCaptureService() {
    while (!widgets.empty()) {
        // Its destroy handler removes it from the map and releases the driver.
        QPointer<QtPreviewWidget> widget = widgets.begin()->second;
        if (widget) {
            delete widget.data();
        } else {
            widgets.erase(widgets.begin());
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
    const CaptureWindow window =
        drivers->createCaptureWindow(windowName, style, x, y, width, height, parent, id);
    if (window == 0) {
        return 0;
    }
    auto* widget = new QtPreviewWidget(parentWidget);
    widget->setGeometry(x, y, width, height);
    widget->setMouseHandler(
        [this, window](MouseMessage message, std::uintptr_t wParam, std::intptr_t lParam) {
            return drivers->mouseMessage(window, message, wParam, lParam);
        });
    widget->setDestroyHandler([this, window, widget] { widgetGone(window, widget); });
    widgets[window] = widget;
    {
        std::lock_guard lock(previewMutex);
        preview = widget;
    }
    if (style & windowStyle::WS_VISIBLE) {
        widget->show();
    }
    return window;
}

void QtCaptureService::widgetGone(CaptureWindow window, QtPreviewWidget* widget) {
    {
        std::lock_guard lock(previewMutex);
        if (preview == widget) {
            preview = nullptr;
        }
    }
    widgets.erase(window);
    // Stops the driver's preview thread, so no frame reaches the widget from now on.
    drivers->destroyWindow(window);
}

std::optional<std::string> QtCaptureService::getDriverDescription(std::uint32_t index,
                                                                  std::size_t bufferBytes) {
    return drivers->getDriverDescription(index, bufferBytes);
}

std::optional<std::uint32_t> QtCaptureService::refreshDrivers(CaptureWindow window) {
    return drivers->refreshDrivers(window);
}

bool QtCaptureService::isWindow(CaptureWindow window) {
    return drivers->isWindow(window);
}

std::intptr_t QtCaptureService::sendMessage(CaptureWindow window, CaptureMessage message,
                                            std::uintptr_t wParam, CaptureParam lParam) {
    return drivers->sendMessage(window, message, wParam, lParam);
}

void QtCaptureService::resizeWindow(CaptureWindow window, int width, int height) {
    drivers->resizeWindow(window, width, height);
    if (const auto found = widgets.find(window); found != widgets.end() && found->second) {
        found->second->resize(width, height);
    }
}

void QtCaptureService::hookWindow(CaptureWindow window, WindowHook hook) {
    drivers->hookWindow(window, std::move(hook));
}

bool QtCaptureService::wantsFrames() const {
    std::lock_guard lock(previewMutex);
    return preview != nullptr && preview->wantsFrames();
}

void QtCaptureService::showFrame(const Surface& frame, int windowWidth, int windowHeight,
                                 bool stretch) {
    std::lock_guard lock(previewMutex);
    if (preview != nullptr) {
        preview->showFrame(frame, windowWidth, windowHeight, stretch);
    }
}
