#pragma once

#include "capture/CaptureDialogs.h"
#include "capture/CaptureDriver.h"
#include "capture/CaptureService.h"
#include "capture/PreviewSink.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// The capture-window service over the drivers a finder finds (the cameras present, and the
// test source when asked for): the driver index is the position in the list found last. A
// driver connected to a window stays the same object from one list to the next, found again
// by its device, and stays listed while its device is away. It keeps each capture window's
// state (connected driver, preview, scaling, preview rate, sequence parameters, the last
// grabbed frame) and answers the capture messages from it. Preview frames go to preview, the
// drivers' dialogs ask through dialogs; both must outlive it. The size chosen in the Format
// dialog and the controls changed in the Source dialog are kept in the settings store for
// the device (Settings::rememberCamera) and given back whenever it is connected.
class DriverCaptureService : public CaptureService {
public:
    using DriverFinder = std::function<std::vector<std::shared_ptr<CaptureDriver>>()>;

    // Finds the drivers at once, and again at each refreshDrivers.
    DriverCaptureService(DriverFinder findDrivers, PreviewSink& preview, CaptureDialogs& dialogs);
    // Over a list of drivers that never changes.
    DriverCaptureService(std::vector<std::unique_ptr<CaptureDriver>> drivers, PreviewSink& preview,
                         CaptureDialogs& dialogs);
    ~DriverCaptureService() override;
    DriverCaptureService(const DriverCaptureService&) = delete;
    DriverCaptureService& operator=(const DriverCaptureService&) = delete;

    CaptureWindow createCaptureWindow(const std::string& windowName, std::uint32_t style, int x,
                                      int y, int width, int height, const ParentWindow& parent,
                                      int id) override;
    std::optional<std::string> getDriverDescription(std::uint32_t index,
                                                    std::size_t bufferBytes) override;
    std::optional<std::uint32_t> refreshDrivers(CaptureWindow window) override;
    bool isWindow(CaptureWindow window) override;
    std::intptr_t sendMessage(CaptureWindow window, CaptureMessage message, std::uintptr_t wParam,
                              CaptureParam lParam) override;
    void resizeWindow(CaptureWindow window, int width, int height) override;
    void hookWindow(CaptureWindow window, WindowHook hook) override;

    // Mouse input over window, from the window system: the hook's result, or nothing when
    // the window's own procedure should have the message.
    std::optional<std::intptr_t> mouseMessage(CaptureWindow window, MouseMessage message,
                                              std::uintptr_t wParam, std::intptr_t lParam);
    // The window system has destroyed window (with its parent): its driver is released.
    void destroyWindow(CaptureWindow window);

private:
    // What the preview needs of a window, shared with the driver's thread.
    class WindowPreview : public CaptureDriver::PreviewTarget {
    public:
        explicit WindowPreview(PreviewSink& sink, int width, int height)
            : sink_(sink)
            , width_(width)
            , height_(height) {}
        bool wantsFrames() const override { return sink_.wantsFrames(); }
        void showFrame(const Surface& frame) override;
        std::optional<FrameSize> stretchedSize() const override;
        void resize(int newWidth, int newHeight);
        void setStretch(bool on);

    private:
        PreviewSink& sink_;
        mutable std::mutex mutex_;
        int width_;
        int height_;
        bool stretch_ = false;
    };

    struct Window {
        std::unique_ptr<WindowPreview> preview;
        WindowHook hook;
        std::shared_ptr<CaptureDriver> driver;
        bool previewOn = false;
        bool scale = false;
        std::chrono::milliseconds previewRate{66};
        CaptureParms parms;
        std::optional<Surface> grabbed;
    };

    std::intptr_t connect(Window& window, std::uint32_t index);
    void disconnect(Window& window);
    void updatePreview(Window& window);
    bool formatDialog(Window& window);
    bool sourceDialog(Window& window);
    void restoreRemembered(CaptureDriver& driver);

    // The capture messages by what they concern: the driver and its dialogs, the preview,
    // the frames. The first two answer nothing for a message of another kind.
    std::optional<std::intptr_t> driverMessage(Window& window, CaptureMessage message,
                                               std::uintptr_t wParam, const CaptureParam& lParam);
    std::optional<std::intptr_t> previewMessage(Window& window, CaptureMessage message,
                                                std::uintptr_t wParam);
    std::intptr_t frameMessage(Window& window, CaptureMessage message, const CaptureParam& lParam);
    static bool getStatus(Window& window, CaptureStatus* status);
    bool grabFrame(Window& window);
    static bool setSequenceSetup(Window& window, const CaptureParms* parms);

    DriverFinder findDrivers_;
    std::vector<std::shared_ptr<CaptureDriver>> drivers_;
    PreviewSink& preview_;
    CaptureDialogs& dialogs_;
    std::map<CaptureWindow, Window> windows_;
    CaptureWindow nextWindow_ = 1;
};
