#pragma once

#include <span>
#include <string_view>

// A dialog described as plain data, the way a dialog resource describes it: positions and
// sizes are in dialog units (a quarter of the dialog font's average character width across,
// an eighth of its character height down).

enum class DialogControlKind {
    PushButton,
    // A push button drawn as the default one; the first of them is the dialog's default.
    DefaultPushButton,
    Edit,
    CheckBox,
    Label,
    GroupBox,
    // A picture shown at its own size, centred in its rectangle.
    Picture,
};

// Style bits of a control; which apply depends on its kind.
enum DialogControlStyle : unsigned {
    dialogStyleNone = 0,
    // Edit: only the digits 0-9 can be typed.
    dialogStyleDigitsOnly = 1U << 0,
    // Edit: the text is aligned to the right.
    dialogStyleRightAligned = 1U << 1,
    // Edit: typed characters are masked.
    dialogStylePassword = 1U << 2,
    // Label: the text is centred in the rectangle.
    dialogStyleCentered = 1U << 3,
    // Picture: drawn with a sunken frame.
    dialogStyleSunken = 1U << 4,
};

// Static controls carry this id.
inline constexpr int dialogStaticId = -1;

struct DialogControl {
    int id;
    DialogControlKind kind;
    std::string_view text;
    int x;
    int y;
    int width;
    int height;
    unsigned style = dialogStyleNone;
    // Picture: the id of the image it shows.
    int imageId = 0;
    // Shown when the pointer rests on the control; empty for none.
    std::string_view tip = {};
};

enum class DialogFrame {
    // A modal frame with a caption and a system menu (close box).
    CaptionAndSystemMenu,
    // A pop-up with a thin border and no caption.
    ThinBorder,
};

enum class DialogPlacement {
    // Centred on the mouse pointer, kept on its screen.
    CenteredOnMouse,
    // Centred on the screen.
    CenteredOnScreen,
};

struct DialogTemplate {
    int id;
    std::string_view title;
    std::string_view fontFace;
    int fontPointSize;
    int width;
    int height;
    DialogFrame frame;
    DialogPlacement placement;
    // The item that has the focus when the dialog opens.
    int initialFocusId;
    // In template order, which is also the keyboard (tab) order.
    std::span<const DialogControl> controls;
};
