#include "qt/QtPreviewWidget.h"

#include "base/Surface.h"
#include "image/PictureGeometry.h"
#include "image/SharedPictureOptions.h"
#include "qt/QtEventGuard.h"
#include "qt/QtMouseTranslator.h"

#include <QMouseEvent>
#include <QPainter>

#include <utility>

QtPreviewWidget::QtPreviewWidget(QWidget* parent)
    : QWidget(parent) {
    setMouseTracking(true);
    // Every pixel is painted, the frame or black.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QtPreviewWidget::~QtPreviewWidget() {
    if (destroyHandler_) {
        destroyHandler_();
    }
}

void QtPreviewWidget::setMouseHandler(MouseHandler handler) {
    mouseHandler_ = std::move(handler);
}

void QtPreviewWidget::setDestroyHandler(std::function<void()> handler) {
    destroyHandler_ = std::move(handler);
}

bool QtPreviewWidget::wantsFrames() const {
    return visible_.load();
}

void QtPreviewWidget::showFrame(const Surface& shown, int, int, bool stretch) {
    // The preview shows the published picture's crop and turn; the window does the scaling.
    const PictureOptions options = SharedPictureOptions::get();
    std::optional<Surface> turned;
    if (options.turns()) {
        turned = PictureGeometry::turn(shown, options);
    }
    const Surface& frame = turned ? *turned : shown;
    std::lock_guard backLock(backMutex_);
    if (back_.width() != frame.width() || back_.height() != frame.height()) {
        back_ = QImage(frame.width(), frame.height(), QImage::Format_RGB32);
    }
    for (int y = 0; y < frame.height(); ++y) {
        const std::uint8_t* in = frame.rowFromTop(y);
        auto* out = reinterpret_cast<QRgb*>(back_.scanLine(y));
        for (int x = 0; x < frame.width(); ++x, in += 3) {
            out[x] = qRgb(in[2], in[1], in[0]);
        }
    }
    bool queueRepaint = false;
    {
        std::lock_guard lock(frontMutex_);
        std::swap(front_, back_);
        stretchFrame_ = stretch;
        keepAspect_ = turned.has_value();
        queueRepaint = !std::exchange(repaintQueued_, true);
    }
    if (queueRepaint) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                {
                    std::lock_guard lock(frontMutex_);
                    repaintQueued_ = false;
                }
                update();
            },
            Qt::QueuedConnection);
    }
}

QImage QtPreviewWidget::currentFrame() const {
    std::lock_guard lock(frontMutex_);
    return front_.copy();
}

void QtPreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    std::lock_guard lock(frontMutex_);
    if (front_.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (stretchFrame_ && keepAspect_) {
        // A turned or cropped picture keeps its shape inside the camera-shaped window.
        painter.fillRect(rect(), Qt::black);
        const QSize fitted = front_.size().scaled(size(), Qt::KeepAspectRatio);
        painter.drawImage(
            QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted),
            front_);
        return;
    }
    if (stretchFrame_) {
        painter.drawImage(rect(), front_);
        return;
    }
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, front_);
}

void QtPreviewWidget::showEvent(QShowEvent*) {
    visible_ = true;
}

void QtPreviewWidget::hideEvent(QHideEvent*) {
    visible_ = false;
}

void QtPreviewWidget::mousePressEvent(QMouseEvent* event) {
    forwardMouse(*event);
}

void QtPreviewWidget::mouseReleaseEvent(QMouseEvent* event) {
    forwardMouse(*event);
}

void QtPreviewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    forwardMouse(*event);
}

void QtPreviewWidget::mouseMoveEvent(QMouseEvent* event) {
    forwardMouse(*event);
}

void QtPreviewWidget::forwardMouse(const QMouseEvent& event) {
    const auto message = QtMouseTranslator::translate(event);
    if (message && mouseHandler_) {
        // A message the handler leaves alone would go to the capture window's own
        // procedure, which does nothing with mouse input.
        runGuarded([&] {
            mouseHandler_(static_cast<MouseMessage>(message->message), message->wParam,
                          message->lParam);
        });
    }
}
