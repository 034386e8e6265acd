#include "qt/QtTopLevelWindow.h"

#include "qt/QtEventGuard.h"
#include "qt/QtIcons.h"
#include "qt/QtMouseTranslator.h"
#include "qt/QtPlatform.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <utility>

namespace {

// The outer widget; a close request from the desktop destroys the window the way the
// procedure would learn of it, and the Menu key or Shift+F10 ask for the context menu.
class Frame : public QFrame {
public:
    Frame(Qt::WindowFlags flags, std::function<void()> onClose, std::function<void()> onMenuKey)
        : QFrame(nullptr, flags)
        , onClose_(std::move(onClose))
        , onMenuKey_(std::move(onMenuKey)) {
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        onClose_();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Menu ||
            (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
            onMenuKey_();
            return;
        }
        QFrame::keyPressEvent(event);
    }

private:
    std::function<void()> onClose_;
    std::function<void()> onMenuKey_;
};

// The inside of the frame; its mouse events become the window's mouse messages.
class ClientArea : public QWidget {
public:
    ClientArea(QWidget* parent, std::function<void(const MouseWindowMessage&)> onMouse)
        : QWidget(parent)
        , onMouse_(std::move(onMouse)) {
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
            onMouse_(*message);
        }
    }

private:
    void forward(const QMouseEvent& event) {
        if (const auto message = QtMouseTranslator::translate(event)) {
            onMouse_(*message);
        }
    }

    std::function<void(const MouseWindowMessage&)> onMouse_;
};

Rect toRect(const QRect& rect) {
    return Rect{rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

} // namespace

QtTopLevelWindow::QtTopLevelWindow(std::uint32_t style, std::uint32_t extStyle,
                                   const std::string& title, Rect rect, WindowProcedure procedure)
    : procedure_(std::move(procedure)) {
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
    frame_ = std::make_unique<Frame>(
        flags, [this] { destroy(); }, [this] { deliver(windowMessage::WM_CONTEXTMENU, 0, -1); });
    frame_->setWindowTitle(QString::fromStdString(title));
    frame_->setWindowIcon(applicationIcon());
    // Shown again after Hide without taking the focus from the window in use.
    frame_->setAttribute(Qt::WA_ShowWithoutActivating);
    if (style & windowStyle::WS_BORDER) {
        borderPx_ = 1;
        frame_->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame_->setLineWidth(borderPx_);
    }
    client_ = new ClientArea(frame_.get(), [this](const MouseWindowMessage& message) {
        deliver(message.message, message.wParam, message.lParam);
    });
    frame_->setGeometry(rect.left, rect.top, rect.width(), rect.height());
    layoutClient();
}

QtTopLevelWindow::~QtTopLevelWindow() = default;

void QtTopLevelWindow::layoutClient() {
    const QSize outer = frame_->size();
    client_->setGeometry(borderPx_, borderPx_, std::max(0, outer.width() - 2 * borderPx_),
                         std::max(0, outer.height() - 2 * borderPx_));
}

void QtTopLevelWindow::showInitially(int command) {
    if (destroyed_ || command == showCommand::SW_HIDE) {
        return;
    }
    if (command == showCommand::SW_SHOWMINIMIZED || command == showCommand::SW_SHOWMINNOACTIVE) {
        frame_->showMinimized();
    } else {
        frame_->show();
    }
    frame_->repaint();
}

void QtTopLevelWindow::hide() {
    if (!destroyed_) {
        frame_->hide();
    }
}

void QtTopLevelWindow::show() {
    if (destroyed_) {
        return;
    }
    if (typeBeforeMinimize_) {
        frame_->setWindowFlags((frame_->windowFlags() & ~Qt::WindowType_Mask) |
                               *typeBeforeMinimize_);
        typeBeforeMinimize_.reset();
    }
    frame_->setWindowState(frame_->windowState() & ~Qt::WindowMinimized);
    frame_->show();
}

void QtTopLevelWindow::minimize() {
    if (destroyed_ || frame_->isMinimized()) {
        return;
    }
    // A tool window has no task-bar entry: without one, a minimised window is out of reach.
    const Qt::WindowFlags type = frame_->windowFlags() & Qt::WindowType_Mask;
    if (type != Qt::Window) {
        typeBeforeMinimize_ = type;
        frame_->setWindowFlags((frame_->windowFlags() & ~Qt::WindowType_Mask) | Qt::Window);
    }
    frame_->showMinimized();
}

void QtTopLevelWindow::move(int x, int y) {
    if (!destroyed_) {
        frame_->move(x, y);
    }
}

void QtTopLevelWindow::resize(int width, int height) {
    if (!destroyed_) {
        frame_->resize(width, height);
        layoutClient();
    }
}

void QtTopLevelWindow::setGeometry(int x, int y, int width, int height) {
    if (!destroyed_) {
        frame_->setGeometry(x, y, width, height);
        layoutClient();
    }
}

Rect QtTopLevelWindow::windowRect() const {
    return toRect(frame_->geometry());
}

Rect QtTopLevelWindow::clientRect() const {
    return Rect{0, 0, client_->width(), client_->height()};
}

Rect QtTopLevelWindow::normalRect() const {
    if (frame_->windowState() == Qt::WindowNoState) {
        return windowRect();
    }
    return toRect(frame_->normalGeometry());
}

Point QtTopLevelWindow::clientToScreen(Point point) const {
    // Computed from the frame's geometry rather than mapToGlobal, which needs the window
    // to have been shown once.
    const QPoint origin = frame_->geometry().topLeft() + client_->pos();
    return Point{origin.x() + point.x, origin.y() + point.y};
}

void QtTopLevelWindow::bringToForeground() {
    if (!destroyed_) {
        frame_->raise();
        frame_->activateWindow();
    }
}

void QtTopLevelWindow::captureMouse() {
    if (!destroyed_ && client_->isVisible()) {
        client_->grabMouse();
    }
}

void QtTopLevelWindow::releaseMouse() {
    if (QWidget::mouseGrabber() == client_) {
        client_->releaseMouse();
    }
}

bool QtTopLevelWindow::setTimer(std::uintptr_t id, unsigned periodMs) {
    if (destroyed_) {
        return false;
    }
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(frame_.get());
        QObject::connect(timer, &QTimer::timeout,
                         [this, id] { deliver(windowMessage::WM_TIMER, id, 0); });
    }
    timer->start(static_cast<int>(periodMs));
    return true;
}

bool QtTopLevelWindow::killTimer(std::uintptr_t id) {
    const auto found = timers_.find(id);
    if (found == timers_.end()) {
        return false;
    }
    // Stopping and deleting it drops a tick that is already due.
    delete found->second;
    timers_.erase(found);
    return true;
}

void QtTopLevelWindow::postMessage(std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam) {
    // Queued on the frame, so a message not delivered yet goes when the frame goes.
    QMetaObject::invokeMethod(
        frame_.get(), [this, message, wParam, lParam] { deliver(message, wParam, lParam); },
        Qt::QueuedConnection);
}

void QtTopLevelWindow::deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (!destroyed_) {
        runGuarded([&] { procedure_(message, wParam, lParam); });
    }
}

void QtTopLevelWindow::destroy() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    releaseMouse();
    while (!timers_.empty()) {
        killTimer(timers_.begin()->first);
    }
    // The widgets stay until this object is deleted: destroy may run inside one of their
    // own event handlers.
    frame_->hide();
    runGuarded([this] { procedure_(windowMessage::WM_DESTROY, 0, 0); });
}

void* QtTopLevelWindow::nativeHandle() const {
    return client_;
}

QWidget* QtTopLevelWindow::qtWindowOf(const TopLevelWindow* window) {
    if (window == nullptr) {
        return nullptr;
    }
    const auto* client = static_cast<const QWidget*>(window->nativeHandle());
    return client != nullptr ? client->window() : nullptr;
}
