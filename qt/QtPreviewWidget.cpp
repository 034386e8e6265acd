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
    if (destroyHandler) {
        destroyHandler();
    }
}

void QtPreviewWidget::setMouseHandler(MouseHandler handler) {
    mouseHandler = std::move(handler);
}

void QtPreviewWidget::setDestroyHandler(std::function<void()> handler) {
    destroyHandler = std::move(handler);
}

bool QtPreviewWidget::wantsFrames() const {
    return visible.load();
}

void QtPreviewWidget::showFrame(const Surface& shown, int, int, bool stretch) {
    // The preview shows the published picture's crop and turn; the window does the scaling.
    const PictureOptions options = SharedPictureOptions::get();
    std::optional<Surface> turned;
    if (options.turns()) {
        turned = PictureGeometry::turn(shown, options);
    }
    const Surface& frame = turned ? *turned : shown;
    std::lock_guard backLock(backMutex);
    if (back.width() != frame.width() || back.height() != frame.height()) {
        back = QImage(frame.width(), frame.height(), QImage::Format_RGB32);
    }
    for (int y = 0; y < frame.height(); ++y) {
        const std::uint8_t* in = frame.rowFromTop(y);
        auto* out = reinterpret_cast<QRgb*>(back.scanLine(y));
        for (int x = 0; x < frame.width(); ++x, in += 3) {
            out[x] = qRgb(in[2], in[1], in[0]);
        }
    }
    bool queueRepaint = false;
    {
        std::lock_guard lock(frontMutex);
        std::swap(front, back);
        stretchFrame = stretch;
        keepAspect = turned.has_value();
        queueRepaint = !std::exchange(repaintQueued, true);
    }
    if (queueRepaint) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                {
                    std::lock_guard lock(frontMutex);
                    repaintQueued = false;
                }
                update();
            },
            Qt::QueuedConnection);
    }
}

QImage QtPreviewWidget::currentFrame() const {
    std::lock_guard lock(frontMutex);
    return front.copy();
}

void QtPreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    std::lock_guard lock(frontMutex);
    if (front.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (stretchFrame && keepAspect) {
        // A turned or cropped picture keeps its shape inside the camera-shaped window.
        painter.fillRect(rect(), Qt::black);
        const QSize fitted = front.size().scaled(size(), Qt::KeepAspectRatio);
        painter.drawImage(
            QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted),
            front);
        return;
    }
    if (stretchFrame) {
        painter.drawImage(rect(), front);
        return;
    }
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, front);
}

void QtPreviewWidget::showEvent(QShowEvent*) {
    visible = true;
}

void QtPreviewWidget::hideEvent(QHideEvent*) {
    visible = false;
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
    if (message && mouseHandler) {
        // A message the handler leaves alone would go to the capture window's own
        // procedure, which does nothing with mouse input.
        runGuarded([&] {
            mouseHandler(static_cast<MouseMessage>(message->message), message->wParam,
                         message->lParam);
        });
    }
}
