#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/TrayIcon.h"
#include "base/ErrorBox.h"
#include "base/Exception.h"
#include "capture/Capture.h"
#include "ftp/FTPThread.h"
#include "ftp/InstantUpload.h"
#include "ftp/ThreadControl.h"
#include "image/SharedPictureOptions.h"
#include "platform/DialogRunner.h"
#include "platform/Menu.h"
#include "platform/TopLevelWindow.h"
#include "platform/WindowSystem.h"
#include "res/DialogTemplates.h"
#include "res/Icons.h"
#include "res/MenuTemplates.h"
#include "settings/FtpSettingsDialog.h"
#include "settings/ImageSettingsDialog.h"
#include "settings/PictureSettingsDialog.h"
#include "settings/PreviewSettingsDialog.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <vector>

namespace {

constexpr const char* nullCaptureText = "MainWindow:: Capture object is null!";
// Position of the "Select Device..." submenu in the context menu, separators counted.
constexpr int deviceSubMenuPosition = 9;
// Distance in pixels at which the window snaps to a screen edge, and which the cursor must
// move to pull it off again.
constexpr int snapBand = 20;
// The message an instant grab's upload posts to the window when it has ended.
constexpr std::uint32_t instantUploadEndedMessage = 2002;
// How long the end of the program waits for cancelled upload workers to leave the network
// library, so that none is still inside it while the process ends. Cancelled, they take a
// few tens of milliseconds.
constexpr std::chrono::milliseconds workersEndingLimit{500};

// The client position of a mouse message: two unsigned 16-bit values, x low, y high.
Point mousePosition(std::intptr_t lParam) {
    const auto bits = static_cast<std::uintptr_t>(lParam);
    return {static_cast<std::int32_t>(bits & 0xFFFF),
            static_cast<std::int32_t>((bits >> 16) & 0xFFFF)};
}

} // namespace

MainWindow::MainWindow(WindowSystem& windowSystem, TrayShell& trayShell, DialogRunner& dialogs,
                       int showCommand)
    : windowSystem(windowSystem)
    , dialogs(dialogs)
    , uploadHealth(std::make_shared<HealthLine>(FTPThread::healthWords)) {
    using namespace windowStyle;
    window = windowSystem.createWindow(
        WS_POPUP | WS_VISIBLE | WS_BORDER, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, title,
        Rect{0, 0, createdWidth, createdHeight},
        [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
            return windowProc(message, wParam, lParam);
        });
    if (!window) {
        throw Exception("MainWindow::MainWindow  - CreateWindowEx");
    }
    window->showInitially(showCommand);
    linked = true;

    trayIcon.reset(new (std::nothrow) TrayIcon(trayShell, trayCallbackMessage));
    if (!trayIcon) {
        throw Exception("kan inte allokera minne");
    }
    trayIcon->setWindow(*window);
    trayIcon->setIcon(idleIconId);
    trayIcon->setVisible(true);
    trayIcon->setTip(inactiveTip);
    trayIcon->update();
    shutdownDone = false;
}

MainWindow::~MainWindow() {
    shutdown();
}

ParentWindow MainWindow::captureParent() {
    return ParentWindow{
        window->nativeHandle(),
        [this](MouseMessage message, std::uintptr_t wParam, std::intptr_t lParam) {
            return windowProc(static_cast<std::uint32_t>(message), wParam, lParam).value_or(0);
        }};
}

void MainWindow::setCapture(Capture* newCapture) {
    if (!newCapture) {
        throw Exception(nullCaptureText);
    }
    capture = newCapture;
}

void MainWindow::setupMenus() {
    if (!capture) {
        throw Exception("Capture not set!");
    }
    menu = windowSystem.loadMenu(mainMenuId);
    checkItem(menuCommand::saveOnExit, Settings::getSaveSettingsOnExit());

    if (!deviceMenu()) {
        windowSystem.messageBox(window.get(), "Internal screw-up...", "");
    }
    listDevices();
    selectDevice(capture->deviceIndex);

    if (!capture->driverCaps.fHasDlgVideoDisplay) {
        enableItem(menuCommand::videoDisplay, false);
    }
    if (!capture->driverCaps.fHasDlgVideoFormat) {
        enableItem(menuCommand::videoFormat, false);
    }
    if (!capture->driverCaps.fHasDlgVideoSource) {
        enableItem(menuCommand::videoSource, false);
    }
    capture->setFrameRate(static_cast<std::uint32_t>(Settings::getFps()));
    SharedPictureOptions::set(PictureOptions::fromSettings());
    placeAt(positionX, positionY);
    setZoom(zoomIndex);
}

int MainWindow::messageLoop(bool run, bool hideAtStart) {
    if (run) {
        window->postMessage(windowMessage::WM_COMMAND, menuCommand::run, 0);
    }
    if (hideAtStart) {
        window->postMessage(windowMessage::WM_COMMAND, menuCommand::hide, 0);
    }
    return windowSystem.runEventLoop();
}

void MainWindow::shutdown() {
    if (shutdownDone) {
        return;
    }
    shutdownDone = true;
    std::vector<std::shared_ptr<ThreadControl>> workers;
    if (ftpThread) {
        workers.push_back(ftpThread->control());
    }
    if (instantUpload) {
        workers.push_back(instantUpload->control());
    }
    stopRunning();
    // Without a capture object (start-up failed before wiring it) there is no device to
    // save, and this may run in the destructor, which must not throw.
    if (Settings::getSaveSettingsOnExit() && capture) {
        saveSettings();
    }
    ftpThread.reset();
    instantUpload.reset();
    menu.reset();
    if (trayIcon) {
        trayIcon->setVisible(false);
        trayIcon->update();
        trayIcon.reset();
    }
    const auto deadline = std::chrono::steady_clock::now() + workersEndingLimit;
    for (const auto& worker : workers) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        worker->waitEnded(std::max(left, std::chrono::milliseconds(0)));
    }
}

void MainWindow::saveSettings() {
    saveSettingsFile({*this, requireCapture()}, settingsFileName);
}

std::optional<std::intptr_t> MainWindow::windowProc(std::uint32_t message, std::uintptr_t wParam,
                                                    std::intptr_t lParam) {
    if (!linked) {
        return std::nullopt;
    }
    using namespace windowMessage;
    switch (message) {
    case WM_DESTROY:
        windowSystem.quit(0);
        return 0;
    case WM_PAINT:
        return 0;
    case WM_COMMAND:
        if (!onCommand(static_cast<int>(wParam & 0xFFFF))) {
            return std::nullopt;
        }
        return 0;
    case WM_TIMER:
        if (wParam == timerId) {
            onTimer();
        }
        return 0;
    case WM_MOUSEMOVE:
        // Only a move with the left button alone drags: not with Shift, Ctrl or another
        // button held as well.
        if (wParam == mouseKey::MK_LBUTTON) {
            dragStep(lParam);
        }
        return 0;
    case WM_LBUTTONDOWN: {
        window->captureMouse();
        const Point grabbed = offsetInWindow(mousePosition(lParam));
        const Point cursor = windowSystem.cursorPos();
        dragX.grabOffset = grabbed.x;
        dragY.grabOffset = grabbed.y;
        dragX.snapAnchor = cursor.x;
        dragY.snapAnchor = cursor.y;
        return 0;
    }
    case WM_LBUTTONUP:
        window->releaseMouse();
        return 0;
    case WM_LBUTTONDBLCLK:
        instantGrab();
        return 0;
    case WM_RBUTTONDOWN:
        showPopupMenu(window->clientToScreen(mousePosition(lParam)));
        return 0;
    case instantUploadEndedMessage:
        onInstantUploadEnded();
        return 0;
    case trayCallbackMessage:
        if (lParam == WM_RBUTTONDOWN) {
            showPopupMenu(windowSystem.cursorPos());
        } else if (lParam == WM_LBUTTONUP) {
            if (hidden) {
                show();
            } else {
                hide();
            }
        }
        return 0;
    default:
        return std::nullopt;
    }
}

bool MainWindow::onCommand(int id) {
    switch (id) {
    case menuCommand::about:
        dialogs.runDialog(window.get(), aboutDialogId, aboutDialogProc);
        return true;
    case menuCommand::exitProgram:
        stopRunning();
        shutdown();
        window->destroy();
        return true;
    case menuCommand::instantGrab:
        instantGrab();
        return true;
    case menuCommand::ftpSettings:
        dialogs.runDialog(window.get(), ftpSettingsDialogId, ftpSettingsDialogProc);
        return true;
    case menuCommand::videoFormat:
        requireCapture().showFormatDialog();
        // The image size may have changed.
        setZoom(zoomIndex);
        return true;
    case menuCommand::videoDisplay:
        requireCapture().showDisplayDialog();
        return true;
    case menuCommand::videoSource:
        requireCapture().showSourceDialog();
        return true;
    case menuCommand::imageSettings:
        dialogs.runDialog(window.get(), imageSettingsDialogId, imageSettingsDialogProc);
        // Cancelled or not, a running countdown starts again from the full interval.
        restartTimer(updateIntervalMs());
        return true;
    case menuCommand::previewSettings: {
        Capture& device = requireCapture();
        dialogs.runDialog(window.get(), previewSettingsDialogId, previewSettingsDialogProc);
        device.setFrameRate(static_cast<std::uint32_t>(Settings::getFps()));
        return true;
    }
    case menuCommand::hide:
        hide();
        return true;
    case menuCommand::run:
        if (running) {
            stopRunning();
        } else {
            startRunning(-1);
        }
        return true;
    case menuCommand::saveOnExit:
        Settings::setSaveSettingsOnExit(!Settings::getSaveSettingsOnExit());
        checkItem(menuCommand::saveOnExit, Settings::getSaveSettingsOnExit());
        return true;
    case menuCommand::saveSettings:
        saveSettings();
        return true;
    case menuCommand::pictureSettings:
        dialogs.runDialog(
            window.get(), pictureSettingsDialogId,
            pictureSettingsDialog(static_cast<int>(requireCapture().status.uiImageWidth),
                                  static_cast<int>(requireCapture().status.uiImageHeight)));
        return true;
    default:
        break;
    }
    if (id >= menuCommand::zoomFirst && id <= menuCommand::zoomLast) {
        setZoom(id - menuCommand::zoomFirst);
        return true;
    }
    if (id >= menuCommand::firstDevice && id <= menuCommand::lastDevice) {
        selectDevice(id - menuCommand::firstDevice);
        return true;
    }
    return false;
}

Capture& MainWindow::requireCapture() {
    if (!capture) {
        throw Exception(nullCaptureText);
    }
    return *capture;
}

void MainWindow::selectDevice(int position) {
    Capture& device = requireCapture();
    device.connect(position);
    // Another device may have connected when the chosen one did not.
    const std::int32_t connected = device.deviceIndex;
    if (checkedDevice != connected) {
        checkItem(menuCommand::firstDevice + checkedDevice, false);
    }
    checkItem(menuCommand::firstDevice + connected, true);
    checkedDevice = connected;
}

void MainWindow::hide() {
    hidden = true;
    window->hide();
}

void MainWindow::show() {
    hidden = false;
    window->show();
}

Menu* MainWindow::deviceMenu() {
    Menu* popup = menu ? menu->subMenu(0) : nullptr;
    return popup ? popup->subMenu(deviceSubMenuPosition) : nullptr;
}

void MainWindow::listDevices() {
    const auto& names = requireCapture().enumerateDevices();
    if (Menu* devices = deviceMenu()) {
        for (int id = menuCommand::firstDevice; devices->removeItem(id); ++id) {
        }
        for (std::size_t position = 0; position < names.size(); ++position) {
            devices->appendItem(menuCommand::firstDevice + static_cast<int>(position),
                                names[position]);
        }
    }
}

void MainWindow::showPopupMenu(Point screen) {
    // A click on the tray icon while the menu is up leaves it as it is: its items are shown.
    if (!menu || menuOpen) {
        return;
    }
    // Cameras come and go while the program runs: the device items are those present now,
    // and the check follows the device in use to its place among them.
    listDevices();
    checkItem(menuCommand::firstDevice + capture->deviceIndex, true);
    checkedDevice = capture->deviceIndex;
    window->bringToForeground();
    if (Menu* popup = menu->subMenu(0)) {
        menuOpen = true;
        popup->track(screen, *window);
        menuOpen = false;
    }
}

void MainWindow::checkItem(int id, bool checked) {
    if (menu) {
        menu->checkItem(id, checked);
    }
}

void MainWindow::enableItem(int id, bool enabled) {
    if (menu) {
        menu->enableItem(id, enabled);
    }
}

void MainWindow::setTrayIcon(int iconResource) {
    if (trayIcon) {
        trayIcon->setIcon(iconResource);
    }
}

void MainWindow::setTrayTip(const std::string& tip) {
    if (trayIcon) {
        trayIcon->setTip(tip);
    }
}

void MainWindow::updateTray() {
    if (trayIcon) {
        trayIcon->update();
    }
}

// The grab schedule.

std::uint32_t MainWindow::updateIntervalMs() {
    // An interval of 0 would make the countdown step past zero and never grab.
    const std::uint32_t seconds = Settings::getUpdate() == 0 ? 1 : Settings::getUpdate();
    return seconds * 1000u;
}

bool MainWindow::startTimer(std::uint32_t fromMs) {
    if (running) {
        stopTimer();
    }
    if (window->setTimer(timerId, tickMs)) {
        countdownMs = fromMs;
        intervalMs = fromMs;
        running = true;
    }
    return running;
}

bool MainWindow::stopTimer() {
    if (window->killTimer(timerId)) {
        running = false;
        countdownMs = 0;
        intervalMs = 0;
    }
    return !running;
}

void MainWindow::restartTimer(std::uint32_t fromMs) {
    if (running) {
        startTimer(fromMs);
    }
}

void MainWindow::startRunning(std::int64_t fromMs) {
    const std::uint32_t firstCountdown =
        fromMs == -1 ? updateIntervalMs() : static_cast<std::uint32_t>(fromMs);
    if (!startTimer(firstCountdown)) {
        return;
    }
    // The running grabber uploads from now on: an instant grab's upload still going ends
    // here, so that two connections never store the same file at once.
    instantUpload.reset();
    instantUploadAgain = false;
    if (Settings::getActive()) {
        try {
            ftpThread = std::make_unique<FTPThread>(Settings::getHost(), Settings::getUser(),
                                                    Settings::getPassword(), Settings::getPort(),
                                                    Settings::getStopOnError(),
                                                    Settings::getUsePassive(), uploadHealth);
        } catch (const std::bad_alloc&) {
            throw Exception("Cannot allocate memory for the FTP Thread.");
        } catch (const std::system_error&) {
            throw Exception("Cannot allocate memory for the FTP Thread.");
        }
        ftpThread->start();
    }
    checkItem(menuCommand::run, true);
    // The FTP settings cannot change under a running upload thread.
    enableItem(menuCommand::ftpSettings, false);
    setTrayIcon(runningIconId);
    setTrayTip(activeTip);
    waitingFor.clear();
    updateTray();
}

void MainWindow::stopRunning() {
    if (!stopTimer()) {
        return;
    }
    showIdle();
    checkItem(menuCommand::run, false);
    enableItem(menuCommand::ftpSettings, true);
    ftpThread.reset();
}

void MainWindow::onTimer() {
    countdownMs -= tickMs;
    if (countdownMs == intervalMs - tickMs) {
        setTrayIcon(runningIconId);
    }
    switch (countdownMs) {
    case 0:
        if (inGrabWindow()) {
            setTrayIcon(grabbingIconId);
            grabNow();
        }
        // The grab may have stopped the grabber, which leaves the interval 0.
        countdownMs = intervalMs;
        break;
    case 500:
    case 1500:
    case 2500:
        setTrayIcon(runningIconId);
        break;
    case 1000:
    case 2000:
    case 3000:
        setTrayIcon(blinkIconId);
        break;
    default:
        break;
    }
    updateTray();
}

bool MainWindow::inGrabWindow() {
    const GrabWindow::Answer answer = grabWindow.check(ScheduleOptions::fromSettings());
    const std::string waiting = answer.grab ? "" : grabWindow.waitingText(answer);
    if (waiting != waitingFor) {
        setTrayTip(waiting.empty() ? activeTip : activeTip + " [" + waiting + "]");
        waitingFor = waiting;
    }
    return answer.grab;
}

bool MainWindow::grabNow() {
    if (!requireCapture().grabFrame()) {
        return false;
    }
    return uploadGrabbed();
}

bool MainWindow::uploadGrabbed() {
    if (!ftpThread) {
        return true;
    }
    if (ftpThread->post(Settings::getJpegFile(), Settings::getSaveTo())) {
        return true;
    }
    const std::string error = ftpThread->lastError();
    stopRunning();
    showErrorBox(error + "\n\n Webcam has been stopped.");
    return false;
}

void MainWindow::instantGrab() {
    if (running) {
        grabNow();
        // The next periodic grab comes a full interval after this one.
        restartTimer(intervalMs);
        return;
    }
    if (instantUpload) {
        // The upload of an earlier grab is still going, and the tray says so. Skipped, this
        // grab would never reach the server, since no further grab comes while idle: it goes
        // once that upload is done.
        instantUploadAgain = requireCapture().grabFrame() || instantUploadAgain;
        return;
    }
    setTrayIcon(grabbingIconId);
    setTrayTip(activeTip + " [instant grab]");
    updateTray();
    const bool grabbed = requireCapture().grabFrame();
    if (grabbed && Settings::getActive()) {
        startInstantUpload();
        return;
    }
    showIdle();
}

void MainWindow::startInstantUpload() {
    instantUploadAgain = false;
    TopLevelWindow* owner = window.get();
    instantUpload = std::make_unique<InstantUpload>(
        Settings::getHost(), Settings::getUser(), Settings::getPassword(), Settings::getPort(),
        Settings::getUsePassive(), Settings::getJpegFile(), Settings::getSaveTo(), uploadHealth,
        [owner] { owner->postMessage(instantUploadEndedMessage, 0, 0); });
    instantUpload->start();
}

void MainWindow::onInstantUploadEnded() {
    const std::optional<InstantUpload::Result> result =
        instantUpload ? instantUpload->result() : std::nullopt;
    if (!result) {
        return;
    }
    instantUpload.reset();
    if (result->succeeded && instantUploadAgain && Settings::getActive()) {
        startInstantUpload();
        return;
    }
    instantUploadAgain = false;
    // As when the upload thread stops the grabber: idle first, then the box.
    showIdle();
    if (!result->succeeded) {
        showErrorBox(result->message);
    }
}

void MainWindow::showIdle() {
    setTrayIcon(idleIconId);
    setTrayTip(inactiveTip);
    updateTray();
}

// Zoom, placement and dragging.

void MainWindow::setZoom(int index) {
    zoomIndex = index;
    if (menu) {
        menu->checkRadioItem(menuCommand::zoomFirst, menuCommand::zoomLast,
                             menuCommand::zoomFirst + index);
    }
    applyZoom(index);
}

void MainWindow::applyZoom(int index) {
    Capture& device = requireCapture();
    int width = 0;
    int height = 0;
    if (index == fullZoomIndex) {
        const Rect desktop = windowSystem.desktopRect();
        width = desktop.right;
        height = desktop.bottom;
        window->setGeometry(0, 0, width, height);
    } else {
        const float factor = zoomFactors[static_cast<std::size_t>(index)];
        width = static_cast<int>(static_cast<float>(device.status.uiImageWidth) * factor);
        height = static_cast<int>(static_cast<float>(device.status.uiImageHeight) * factor);
        window->resize(width, height);
    }
    device.resizeWindow(width, height);
}

void MainWindow::placeAt(int x, int y) {
    // A position stored on a larger screen would leave the window off this one.
    const Rect desktop = windowSystem.desktopRect();
    if (x > desktop.right - 10) {
        x = desktop.right - createdWidth;
    }
    if (y > desktop.bottom - 10) {
        y = desktop.bottom - createdHeight;
    }
    window->move(x, y);
    positionX = x;
    positionY = y;
}

Point MainWindow::offsetInWindow(Point client) const {
    const Point screen = window->clientToScreen(client);
    const Rect bounds = window->windowRect();
    return Point{screen.x - bounds.left, screen.y - bounds.top};
}

std::optional<int> MainWindow::DragAxis::step(int cursor, int nearEdge, int farEdge, int screenFar,
                                              int clientExtent, int grabbedOffset) {
    // The window's place before this step decides on snapping, so it first follows the
    // cursor into the band and snaps on the next move.
    const auto snap = [&](bool& snapped, int to) {
        snapped = true;
        grabOffset = grabbedOffset;
        snapAnchor = cursor;
        return to;
    };
    const auto holdOrLeave = [&](bool& snapped, int pulledBy) -> std::optional<int> {
        if (pulledBy <= snapBand) {
            return std::nullopt;
        }
        snapped = false;
        return cursor - grabOffset;
    };
    if (snappedToNear) {
        return holdOrLeave(snappedToNear, cursor - snapAnchor);
    }
    if (nearEdge < snapBand) {
        return snap(snappedToNear, 0);
    }
    if (snappedToFar) {
        return holdOrLeave(snappedToFar, snapAnchor - cursor);
    }
    if (screenFar - farEdge < snapBand) {
        return snap(snappedToFar, screenFar - clientExtent);
    }
    return cursor - grabOffset;
}

void MainWindow::dragStep(std::intptr_t lParam) {
    const Point cursor = windowSystem.cursorPos();
    const Rect desktop = windowSystem.desktopRect();
    const Rect bounds = window->windowRect();
    const Rect client = window->clientRect();
    const Point grabbed = offsetInWindow(mousePosition(lParam));
    const std::optional<int> left =
        dragX.step(cursor.x, bounds.left, bounds.right, desktop.right, client.right, grabbed.x);
    const std::optional<int> top =
        dragY.step(cursor.y, bounds.top, bounds.bottom, desktop.bottom, client.bottom, grabbed.y);
    if (left || top) {
        window->move(left.value_or(bounds.left), top.value_or(bounds.top));
    }
}

int MainWindow::getZoomIndex() const {
    return zoomIndex;
}

void MainWindow::setZoomIndex(int index) {
    // Only 0 to 9 have a zoom step; anything else read from the file gets the default.
    zoomIndex = index >= 0 && index <= fullZoomIndex ? index : defaultZoomIndex;
}

int MainWindow::getPositionX() {
    positionX = window->normalRect().left;
    return positionX;
}

int MainWindow::getPositionY() {
    positionY = window->normalRect().top;
    return positionY;
}

void MainWindow::setPositionX(int x) {
    positionX = x;
}

void MainWindow::setPositionY(int y) {
    positionY = y;
}
