#pragma once

#include "capture/CaptureService.h"
#include "capture/DriverCaptureService.h"
#include "capture/PreviewSink.h"
#include "qt/QtCaptureDialogs.h"

#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <mutex>

class QtPreviewWidget;

// The capture-window service with Qt widgets as the capture windows: the drivers' service
// does the capture work, and each capture window it creates gets a QtPreviewWidget in the
// parent's widget (ParentWindow::native is that QWidget) at the window's place and size,
// shown when the style has WS_VISIBLE. The widget shows the preview frames and passes its
// mouse messages to the hook in front of the window. When the widget goes (with its parent
// window), the capture window goes too and its driver is released; a window whose widget is
// gone is no window any more.
//
// The drivers' service has one preview for all its windows: the frames go to the widget of
// the capture window created last. The drivers' own dialogs belong to the window that
// widget sits in, as the capture window's would.
class QtCaptureService : public CaptureService, private PreviewSink {
public:
    // Makes the drivers' service, handing it the preview and the dialogs to use.
    using ServiceFactory =
        std::function<std::unique_ptr<DriverCaptureService>(PreviewSink&, CaptureDialogs&)>;

    explicit QtCaptureService(const ServiceFactory& makeService);
    // Deletes the widgets still there, which stops their drivers.
    ~QtCaptureService() override;
    QtCaptureService(const QtCaptureService&) = delete;
    QtCaptureService& operator=(const QtCaptureService&) = delete;

    CaptureWindow createCaptureWindow(const std::string& windowName, std::uint32_t style, int x,
                                      int y, int width, int height, const ParentWindow& parent,
                                      int id) override;
    std::optional<std::string> getDriverDescription(std::uint32_t index,
                                                    std::size_t bufferBytes) override;
    std::optional<std::uint32_t> refreshDrivers(CaptureWindow window) override;
    bool isWindow(CaptureWindow window) override;
    std::intptr_t sendMessage(CaptureWindow window, CaptureMessage message, std::uintptr_t wParam,
                              CaptureParam lParam) override;
    void resizeWindow(CaptureWindow window, int width, int height) override;
    void hookWindow(CaptureWindow window, WindowHook hook) override;

private:
    bool wantsFrames() const override;
    void showFrame(const Surface& frame, int windowWidth, int windowHeight, bool stretch) override;
    void widgetGone(CaptureWindow window, QtPreviewWidget* widget);

    // The window the preview widget sits in, the owner of the drivers' dialogs.
    QWidget* previewWindow() const;

    QtCaptureDialogs dialogs;
    std::unique_ptr<DriverCaptureService> drivers;
    std::map<CaptureWindow, QPointer<QtPreviewWidget>> widgets;

    // The widget frames go to; touched by the capture threads.
    mutable std::mutex previewMutex;
    QtPreviewWidget* preview = nullptr;
};
