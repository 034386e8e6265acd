#include "qt/QtMouseTranslator.h"

#include "platform/WindowTypes.h"

#include <QMouseEvent>

namespace {

std::uintptr_t keyState(const QMouseEvent& event) {
    std::uintptr_t keys = 0;
    const Qt::MouseButtons buttons = event.buttons();
    if (buttons & Qt::LeftButton) {
        keys |= mouseKey::MK_LBUTTON;
    }
    if (buttons & Qt::RightButton) {
        keys |= mouseKey::MK_RBUTTON;
    }
    if (buttons & Qt::MiddleButton) {
        keys |= mouseKey::MK_MBUTTON;
    }
    if (event.modifiers() & Qt::ShiftModifier) {
        keys |= mouseKey::MK_SHIFT;
    }
    if (event.modifiers() & Qt::ControlModifier) {
        keys |= mouseKey::MK_CONTROL;
    }
    return keys;
}

std::optional<std::uint32_t> buttonDown(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return windowMessage::WM_LBUTTONDOWN;
    case Qt::RightButton:
        return windowMessage::WM_RBUTTONDOWN;
    case Qt::MiddleButton:
        return windowMessage::WM_MBUTTONDOWN;
    default:
        return std::nullopt;
    }
}

std::optional<std::uint32_t> messageOf(const QMouseEvent& event) {
    switch (event.type()) {
    case QEvent::MouseMove:
        return windowMessage::WM_MOUSEMOVE;
    case QEvent::MouseButtonPress:
        return buttonDown(event.button());
    case QEvent::MouseButtonDblClick:
        if (event.button() == Qt::LeftButton) {
            return windowMessage::WM_LBUTTONDBLCLK;
        }
        return buttonDown(event.button());
    case QEvent::MouseButtonRelease:
        if (event.button() == Qt::LeftButton) {
            return windowMessage::WM_LBUTTONUP;
        }
        if (event.button() == Qt::RightButton) {
            return windowMessage::WM_RBUTTONUP;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<MouseWindowMessage> QtMouseTranslator::translate(const QMouseEvent& event) {
    const auto message = messageOf(event);
    if (!message) {
        return std::nullopt;
    }
    const QPoint position = event.position().toPoint();
    return MouseWindowMessage{*message, keyState(event),
                              packMousePosition(position.x(), position.y())};
}
