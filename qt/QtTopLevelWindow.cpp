#include "qt/QtTopLevelWindow.h"

#include "qt/QtEventGuard.h"
#include "qt/QtIcons.h"
#include "qt/QtMouseTranslator.h"
#include "qt/QtPlatform.h"
#include "res/Icons.h"

#include <QCloseEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <utility>

namespace {

// The outer widget; a close request from the desktop destroys the window the way the
// procedure would learn of it.
class Frame : public QFrame {
public:
    Frame(Qt::WindowFlags flags, std::function<void()> onClose)
        : QFrame(nullptr, flags)
        , onClose(std::move(onClose)) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        onClose();
    }

private:
    std::function<void()> onClose;
};

// The inside of the frame; its mouse events become the window's mouse messages.
class ClientArea : public QWidget {
public:
    ClientArea(QWidget* parent, std::function<void(const MouseWindowMessage&)> onMouse)
        : QWidget(parent)
        , onMouse(std::move(onMouse)) {
        setMouseTracking(true);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override { forward(*event); }
    void mouseReleaseEvent(QMouseEvent* event) override { forward(*event); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { forward(*event); }
    void mouseMoveEvent(QMouseEvent* event) override {
        // Where only the compositor moves windows (Wayland), a drag with the mouse captured
        // becomes the compositor's own move, which follows the pointer until the button
        // goes up. A drag is what the window's procedure takes for one: a move with the left
        // button alone held.
        const auto message = QtMouseTranslator::translate(*event);
        if (message && message->wParam == mouseKey::MK_LBUTTON && QWidget::mouseGrabber() == this &&
            onWaylandPlatform() && window()->windowHandle()->startSystemMove()) {
            releaseMouse();
            return;
        }
        if (message) {
            onMouse(*message);
        }
    }

private:
    void forward(const QMouseEvent& event) {
        if (const auto message = QtMouseTranslator::translate(event)) {
            onMouse(*message);
        }
    }

    std::function<void(const MouseWindowMessage&)> onMouse;
};

Rect toRect(const QRect& rect) {
    return Rect{rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

} // namespace

QtTopLevelWindow::QtTopLevelWindow(std::uint32_t style, std::uint32_t extStyle,
                                   const std::string& title, Rect rect, WindowProcedure procedure)
    : procedure(std::move(procedure)) {
    Qt::WindowFlags flags = Qt::Window;
    if (extStyle & windowStyle::WS_EX_TOOLWINDOW) {
        flags = Qt::Tool;
    }
    if (style & windowStyle::WS_POPUP) {
        flags |= Qt::FramelessWindowHint;
    }
    if (extStyle & windowStyle::WS_EX_TOPMOST) {
        flags |= Qt::WindowStaysOnTopHint;
    }
    frame = std::make_unique<Frame>(flags, [this] { destroy(); });
    frame->setWindowTitle(QString::fromStdString(title));
    frame->setWindowIcon(programIcon(programIconId));
    // Shown again after Hide without taking the focus from the window in use.
    frame->setAttribute(Qt::WA_ShowWithoutActivating);
    if (style & windowStyle::WS_BORDER) {
        borderPx = 1;
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(borderPx);
    }
    client = new ClientArea(frame.get(), [this](const MouseWindowMessage& message) {
        deliver(message.message, message.wParam, message.lParam);
    });
    frame->setGeometry(rect.left, rect.top, rect.width(), rect.height());
    layoutClient();
}

QtTopLevelWindow::~QtTopLevelWindow() = default;

void QtTopLevelWindow::layoutClient() {
    const QSize outer = frame->size();
    client->setGeometry(borderPx, borderPx, std::max(0, outer.width() - 2 * borderPx),
                        std::max(0, outer.height() - 2 * borderPx));
}

void QtTopLevelWindow::showInitially(int command) {
    if (destroyed || command == showCommand::SW_HIDE) {
        return;
    }
    if (command == showCommand::SW_SHOWMINIMIZED || command == showCommand::SW_SHOWMINNOACTIVE) {
        frame->showMinimized();
    } else {
        frame->show();
    }
    frame->repaint();
}

void QtTopLevelWindow::hide() {
    if (!destroyed) {
        frame->hide();
    }
}

void QtTopLevelWindow::show() {
    if (!destroyed) {
        frame->show();
    }
}

void QtTopLevelWindow::move(int x, int y) {
    if (!destroyed) {
        frame->move(x, y);
    }
}

void QtTopLevelWindow::resize(int width, int height) {
    if (!destroyed) {
        frame->resize(width, height);
        layoutClient();
    }
}

void QtTopLevelWindow::setGeometry(int x, int y, int width, int height) {
    if (!destroyed) {
        frame->setGeometry(x, y, width, height);
        layoutClient();
    }
}

Rect QtTopLevelWindow::windowRect() const {
    return toRect(frame->geometry());
}

Rect QtTopLevelWindow::clientRect() const {
    return Rect{0, 0, client->width(), client->height()};
}

Rect QtTopLevelWindow::normalRect() const {
    if (frame->windowState() == Qt::WindowNoState) {
        return windowRect();
    }
    return toRect(frame->normalGeometry());
}

Point QtTopLevelWindow::clientToScreen(Point point) const {
    // Computed from the frame's geometry rather than mapToGlobal, which needs the window
    // to have been shown once.
    const QPoint origin = frame->geometry().topLeft() + client->pos();
    return Point{origin.x() + point.x, origin.y() + point.y};
}

void QtTopLevelWindow::bringToForeground() {
    if (!destroyed) {
        frame->raise();
        frame->activateWindow();
    }
}

void QtTopLevelWindow::captureMouse() {
    if (!destroyed && client->isVisible()) {
        client->grabMouse();
    }
}

void QtTopLevelWindow::releaseMouse() {
    if (QWidget::mouseGrabber() == client) {
        client->releaseMouse();
    }
}

bool QtTopLevelWindow::setTimer(std::uintptr_t id, unsigned periodMs) {
    if (destroyed) {
        return false;
    }
    QTimer*& timer = timers[id];
    if (timer == nullptr) {
        timer = new QTimer(frame.get());
        QObject::connect(timer, &QTimer::timeout,
                         [this, id] { deliver(windowMessage::WM_TIMER, id, 0); });
    }
    timer->start(static_cast<int>(periodMs));
    return true;
}

bool QtTopLevelWindow::killTimer(std::uintptr_t id) {
    const auto found = timers.find(id);
    if (found == timers.end()) {
        return false;
    }
    // Stopping and deleting it drops a tick that is already due.
    delete found->second;
    timers.erase(found);
    return true;
}

void QtTopLevelWindow::postMessage(std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam) {
    // Queued on the frame, so a message not delivered yet goes when the frame goes.
    QMetaObject::invokeMethod(
        frame.get(), [this, message, wParam, lParam] { deliver(message, wParam, lParam); },
        Qt::QueuedConnection);
}

void QtTopLevelWindow::deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (!destroyed) {
        runGuarded([&] { procedure(message, wParam, lParam); });
    }
}

void QtTopLevelWindow::destroy() {
    if (destroyed) {
        return;
    }
    destroyed = true;
    releaseMouse();
    while (!timers.empty()) {
        killTimer(timers.begin()->first);
    }
    // The widgets stay until this object is deleted: destroy may run inside one of their
    // own event handlers.
    frame->hide();
    runGuarded([this] { procedure(windowMessage::WM_DESTROY, 0, 0); });
}

void* QtTopLevelWindow::nativeHandle() const {
    return client;
}

QWidget* QtTopLevelWindow::qtWindowOf(const TopLevelWindow* window) {
    if (window == nullptr) {
        return nullptr;
    }
    const auto* client = static_cast<const QWidget*>(window->nativeHandle());
    return client != nullptr ? client->window() : nullptr;
}
