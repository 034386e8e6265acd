#pragma once

#include "capture/CaptureService.h"
#include "capture/PreviewSink.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <functional>
#include <mutex>

// A capture window's picture: a child widget that paints the latest preview frame, scaled
// to its size when stretching is on, else at the frame's own size in the top-left corner.
// The frame is first cropped and turned as the shared picture options say; such a frame is
// scaled keeping its shape, centred on black.
// Frames come from a capture thread: each is converted into a back image there, swapped
// in under a lock, and at most one repaint is queued for the user interface thread however
// many frames arrive before it runs. While the widget is not visible it wants no frames.
//
// Its mouse events go to the mouse handler as the capture window's mouse messages, in its
// own coordinates (the client coordinates of the parent when it sits at the parent's
// client origin). The one who sends frames must stop before the widget is destroyed; the
// destroy handler runs first thing in the destructor so that it can.
class QtPreviewWidget : public QWidget, public PreviewSink {
public:
    using MouseHandler = std::function<std::optional<std::intptr_t>(
        MouseMessage message, std::uintptr_t wParam, std::intptr_t lParam)>;

    explicit QtPreviewWidget(QWidget* parent);
    ~QtPreviewWidget() override;
    QtPreviewWidget(const QtPreviewWidget&) = delete;
    QtPreviewWidget& operator=(const QtPreviewWidget&) = delete;

    void setMouseHandler(MouseHandler handler);
    void setDestroyHandler(std::function<void()> handler);

    bool wantsFrames() const override;
    void showFrame(const Surface& frame, int windowWidth, int windowHeight, bool stretch) override;

    // A copy of the frame painted last time or about to be; null before the first.
    QImage currentFrame() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void forwardMouse(const QMouseEvent& event);

    MouseHandler mouseHandler_;
    std::function<void()> destroyHandler_;
    std::atomic<bool> visible_{false};

    // Only the thread that delivers frames touches back; backMutex keeps two such
    // threads apart.
    std::mutex backMutex_;
    QImage back_;

    // The user interface thread paints front while holding frontMutex, so the two images
    // never share pixels across threads (Qt's implicit sharing would hand the capture
    // thread a buffer still being painted from, to detach on a count it cannot see).
    mutable std::mutex frontMutex_;
    QImage front_;
    bool stretchFrame_ = true;
    // The frame was cropped or turned, so its shape may differ from the window's.
    bool keepAspect_ = false;
    bool repaintQueued_ = false;
};
