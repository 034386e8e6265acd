#pragma once

#include <cstdint>
#include <functional>
#include <optional>

// Plain values shared by the window-system interfaces: points, rectangles, the window
// messages the main window handles and the style bits of a top-level window. The numbers are
// the classic desktop window system's, so that the messages read the same everywhere.

// A point in pixels; screen coordinates unless a call says client coordinates.
struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;

    bool operator==(const Point&) const = default;
};

// A rectangle in pixels: left and top inside, right and bottom just outside.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// Window messages, with the values the main window's procedure expects.
namespace windowMessage {
inline constexpr std::uint32_t WM_DESTROY = 2;
inline constexpr std::uint32_t WM_PAINT = 15;
// wParam: the command id in its low 16 bits; lParam 0.
inline constexpr std::uint32_t WM_COMMAND = 273;
// wParam: the timer id.
inline constexpr std::uint32_t WM_TIMER = 275;
// The keyboard asks for the context menu (the Menu key, Shift+F10); wParam 0, lParam -1.
inline constexpr std::uint32_t WM_CONTEXTMENU = 123;
// Mouse messages: wParam holds the buttons and keys down (the MK_ bits below), lParam the
// position in client coordinates, x in the low 16 bits, y in the next 16 bits. A type of
// their own, for procedures that take only these; its values are window messages all the
// same.
enum MouseMessage : std::uint32_t {
    WM_MOUSEMOVE = 512,
    WM_LBUTTONDOWN = 513,
    WM_LBUTTONUP = 514,
    WM_LBUTTONDBLCLK = 515,
    WM_RBUTTONDOWN = 516,
    WM_RBUTTONUP = 517,
    WM_MBUTTONDOWN = 519,
};
} // namespace windowMessage

using MouseMessage = windowMessage::MouseMessage;

// Bits of a mouse message's wParam.
namespace mouseKey {
inline constexpr std::uintptr_t MK_LBUTTON = 0x0001;
inline constexpr std::uintptr_t MK_RBUTTON = 0x0002;
inline constexpr std::uintptr_t MK_SHIFT = 0x0004;
inline constexpr std::uintptr_t MK_CONTROL = 0x0008;
inline constexpr std::uintptr_t MK_MBUTTON = 0x0010;
} // namespace mouseKey

// The lParam of a mouse message for a client position.
inline std::intptr_t packMousePosition(int x, int y) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                                      static_cast<std::uint32_t>(x & 0xFFFF));
}

// Style bits of a top-level window.
namespace windowStyle {
inline constexpr std::uint32_t WS_POPUP = 0x80000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_BORDER = 0x00800000;
// Extended styles.
inline constexpr std::uint32_t WS_EX_TOPMOST = 0x00000008;
inline constexpr std::uint32_t WS_EX_TOOLWINDOW = 0x00000080;
} // namespace windowStyle

// How a window is first shown (the start-up show command).
namespace showCommand {
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWDEFAULT = 10;
} // namespace showCommand

// The procedure of a window: every message for it, with its two parameters. It returns the
// message's result when it handled the message, nothing when the window system's default
// handling should follow.
using WindowProcedure = std::function<std::optional<std::intptr_t>(
    std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)>;
