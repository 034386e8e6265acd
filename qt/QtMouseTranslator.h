#pragma once

#include <cstdint>
#include <optional>

class QMouseEvent;

// A window message of the mouse: the message, its first parameter (the MK_ bits of the
// buttons and keys down) and its second (the client position, x low, y high).
struct MouseWindowMessage {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;

    bool operator==(const MouseWindowMessage&) const = default;
};

// Turns the mouse events of a widget whose top-left corner is a window's client origin into
// that window's mouse messages. Qt reports a double click as press, release, double click,
// release, which becomes WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP; the
// second press of a right or middle double click is an ordinary button press. Releases of
// the middle button and other buttons have no message.
class QtMouseTranslator {
public:
    static std::optional<MouseWindowMessage> translate(const QMouseEvent& event);
};
