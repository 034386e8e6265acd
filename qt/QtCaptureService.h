#pragma once

#include "capture/DriverCaptureService.h"
#include "capture/PreviewSink.h"
#include "qt/QtCaptureDialogs.h"

#include <QPointer>

#include <map>
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
class QtCaptureService : private PreviewSink, public DriverCaptureService {
public:
    // Over the drivers findDrivers finds. Where nobody can look (previewShown false), no
    // preview frames are made.
    explicit QtCaptureService(DriverFinder findDrivers, bool previewShown = true);
    // Deletes the widgets still there, which stops their drivers.
    ~QtCaptureService() override;
    QtCaptureService(const QtCaptureService&) = delete;
    QtCaptureService& operator=(const QtCaptureService&) = delete;

    CaptureWindow createCaptureWindow(const std::string& windowName, std::uint32_t style, int x,
                                      int y, int width, int height, const ParentWindow& parent,
                                      int id) override;
    void resizeWindow(CaptureWindow window, int width, int height) override;

private:
    bool wantsFrames() const override;
    void showFrame(const Surface& frame, int windowWidth, int windowHeight, bool stretch) override;
    void widgetGone(CaptureWindow window, QtPreviewWidget* widget);

    // The window the preview widget sits in, the owner of the drivers' dialogs.
    QWidget* previewWindow() const;

    // Made after the drivers' service, which only keeps a reference until a dialog opens.
    QtCaptureDialogs dialogs_;
    const bool previewShown_;
    std::map<CaptureWindow, QPointer<QtPreviewWidget>> widgets_;

    // The widget frames go to; touched by the capture threads.
    mutable std::mutex previewMutex_;
    QtPreviewWidget* preview_ = nullptr;
};
