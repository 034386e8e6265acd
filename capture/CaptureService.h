#pragma once

#include "platform/WindowTypes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

// The capture-window service: what the capture logic needs of a system's camera layer.
// A capture window is a child of the main window in which a capture driver shows its live
// preview; every request to the driver is a capture message sent to that window.

// A capture window of the service. 0 is no window.
using CaptureWindow = std::uint32_t;

// The capture messages, with the values the capture-window service gives them.
enum class CaptureMessage : std::uint32_t {
    WM_CAP_SET_CALLBACK_FRAME = 1029,
    WM_CAP_SET_CALLBACK_VIDEOSTREAM = 1030,
    WM_CAP_DRIVER_CONNECT = 1034,
    WM_CAP_DRIVER_DISCONNECT = 1035,
    WM_CAP_DRIVER_GET_CAPS = 1038,
    WM_CAP_FILE_SAVEDIBA = 1049,
    WM_CAP_DLG_VIDEOFORMAT = 1065,
    WM_CAP_DLG_VIDEOSOURCE = 1066,
    WM_CAP_DLG_VIDEODISPLAY = 1067,
    WM_CAP_SET_PREVIEW = 1074,
    WM_CAP_SET_PREVIEWRATE = 1076,
    WM_CAP_SET_SCALE = 1077,
    WM_CAP_GET_STATUS = 1078,
    WM_CAP_GRAB_FRAME = 1084,
    WM_CAP_SET_SEQUENCE_SETUP = 1088,
    WM_CAP_GET_SEQUENCE_SETUP = 1089,
    WM_CAP_STOP = 1092,
};

// The capabilities of the connected driver: which of its own dialogs it has.
struct DriverCaps {
    bool fHasDlgVideoSource = false;
    bool fHasDlgVideoFormat = false;
    bool fHasDlgVideoDisplay = false;
};

// The state of a capture window; uiImageWidth and uiImageHeight are the pixels of the
// image the driver captures.
struct CaptureStatus {
    std::uint32_t uiImageWidth = 0;
    std::uint32_t uiImageHeight = 0;
};

// The capture sequence parameters of a capture window.
struct CaptureParms {
    std::uint32_t dwRequestMicroSecPerFrame = 66667;
    bool fMakeUserHitOKToCapture = false;
    std::uint32_t wPercentDropForError = 10;
    bool fYield = false;
    bool fAbortLeftMouse = true;
    bool fAbortRightMouse = true;
    bool fStepCaptureAt2x = false;
};

// The second parameter of a capture message: nothing, the address of one of the records
// above, or the address of a file name.
using CaptureParam =
    std::variant<std::monostate, DriverCaps*, CaptureStatus*, CaptureParms*, const char*>;

// The procedure of a window for the mouse messages it receives: the message, its first
// parameter (the buttons and keys held) and its second (the position, x in the low word,
// y in the high word, client coordinates). Returns the message's result.
using MouseProcedure =
    std::function<std::intptr_t(MouseMessage message, std::uintptr_t wParam, std::intptr_t lParam)>;

// A hook put in front of a capture window's own procedure: it returns a result for the
// messages it handles and nothing for those the window's own procedure should get.
using WindowHook = std::function<std::optional<std::intptr_t>(
    MouseMessage message, std::uintptr_t wParam, std::intptr_t lParam)>;

// The window a capture window is created in: the window system's own handle of it (null
// when there is none) and its procedure for mouse messages.
struct ParentWindow {
    void* native = nullptr;
    MouseProcedure mouse;
};

class CaptureService {
public:
    // Window style of a visible child window.
    static constexpr std::uint32_t childVisibleStyle = 0x50000000;
    // Longest driver description, terminating zero included.
    static constexpr std::size_t descriptionBytes = 150;

    virtual ~CaptureService() = default;

    // Creates a capture window in parent at the given place and size; 0 when that fails.
    virtual CaptureWindow createCaptureWindow(const std::string& windowName, std::uint32_t style,
                                              int x, int y, int width, int height,
                                              const ParentWindow& parent, int id) = 0;

    // The description of the driver with this index, cut to fit a buffer of bufferBytes
    // (so at most bufferBytes - 1 bytes), or nothing when there is no such driver.
    virtual std::optional<std::string> getDriverDescription(std::uint32_t index,
                                                            std::size_t bufferBytes) = 0;

    // Looks for the drivers again, since devices come and go: from now on the indices of
    // getDriverDescription and WM_CAP_DRIVER_CONNECT are those of the new list. Answers the
    // index in it of the driver connected to window, which keeps being listed while its
    // device is away; nothing when none is connected.
    virtual std::optional<std::uint32_t> refreshDrivers(CaptureWindow window) = 0;

    // Whether window is a window that exists now.
    virtual bool isWindow(CaptureWindow window) = 0;

    // Sends a capture message to window and returns its result (0 for false).
    virtual std::intptr_t sendMessage(CaptureWindow window, CaptureMessage message,
                                      std::uintptr_t wParam, CaptureParam lParam) = 0;

    // Gives window a new size, keeping its place; the preview is stretched to it when
    // scaling is on.
    virtual void resizeWindow(CaptureWindow window, int width, int height) = 0;

    // Puts hook in front of window's procedure for the mouse messages.
    virtual void hookWindow(CaptureWindow window, WindowHook hook) = 0;
};
