#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/PictureSchedule.h"
#include "app/TrayIcon.h"
#include "app/WindowZoom.h"
#include "base/ErrorBox.h"
#include "base/Exception.h"
#include "capture/Capture.h"
#include "ftp/FTPThread.h"
#include "platform/DialogRunner.h"
#include "platform/Menu.h"
#include "platform/TopLevelWindow.h"
#include "platform/WindowSystem.h"
#include "res/DialogTemplates.h"
#include "res/Icons.h"
#include "res/MenuTemplates.h"
#include "settings/ArchiveSettingsDialog.h"
#include "settings/FtpSettingsDialog.h"
#include "settings/ImageSettingsDialog.h"
#include "settings/LiveViewSettingsDialog.h"
#include "settings/PreviewSettingsDialog.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

#include <new>

namespace {

constexpr const char* nullCaptureText = "MainWindow:: Capture object is null!";
// The message an instant grab's upload posts to the window when it has ended.
constexpr std::uint32_t instantUploadEndedMessage = 2002;

} // namespace

MainWindow::MainWindow(WindowSystem& windowSystem, TrayShell& trayShell, DialogRunner& dialogs,
                       int showCommand)
    : windowSystem_(windowSystem)
    , dialogs_(dialogs)
    , schedule_([this](bool on) {
        return on ? window_->setTimer(timerId, GrabSchedule::tickMs) : window_->killTimer(timerId);
    })
    , uploads_([this] { window_->postMessage(instantUploadEndedMessage, 0, 0); },
               liveView_.tell(LiveSource::Part::upload, FTPThread::healthWords))
    , drag_(windowSystem, createdWidth, createdHeight)
    , zoom_(windowSystem)
    , health_(windowSystem, liveView_) {
    using namespace windowStyle;
    window_ = windowSystem.createWindow(
        WS_POPUP | WS_VISIBLE | WS_BORDER, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, title,
        Rect{0, 0, createdWidth, createdHeight},
        [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
            return windowProc(message, wParam, lParam);
        });
    if (!window_) {
        throw Exception("MainWindow::MainWindow  - CreateWindowEx");
    }
    window_->showInitially(showCommand);
    linked_ = true;

    trayIcon_.reset(new (std::nothrow) TrayIcon(trayShell, trayCallbackMessage));
    if (!trayIcon_) {
        // The program's own out-of-memory text, in Swedish.
        throw Exception("kan inte allokera minne");
    }
    trayIcon_->setWindow(*window_);
    health_.watch(*window_, *trayIcon_, schedule_);
    trayIcon_->setVisible(true);
    trayIcon_->show(idleIconId, inactiveTip);
}

MainWindow::~MainWindow() {
    shutdown();
}

ParentWindow MainWindow::captureParent() {
    return ParentWindow{
        window_->nativeHandle(),
        [this](MouseMessage message, std::uintptr_t wParam, std::intptr_t lParam) {
            return windowProc(static_cast<std::uint32_t>(message), wParam, lParam).value_or(0);
        }};
}

void MainWindow::setCapture(Capture* newCapture) {
    if (!newCapture) {
        throw Exception(nullCaptureText);
    }
    capture_ = newCapture;
}

void MainWindow::setupMenus() {
    if (!capture_) {
        throw Exception("Capture not set!");
    }
    menu_ = windowSystem_.loadMenu(mainMenuId);
    checkItem(menuCommand::saveOnExit, Settings::getSaveSettingsOnExit());

    if (!DeviceMenu::find(menu_.get())) {
        // The program's own text for a device menu that cannot be made.
        windowSystem_.messageBox(window_.get(), "Internal screw-up...", "");
    }
    devices_.setUp(menu_.get(), *capture_);
    capture_->setFrameRate(static_cast<std::uint32_t>(Settings::getFps()));
    PictureSchedule::showInPreview();
    position_ = drag_.place(*window_, position_);
    setZoom(zoom_.index());
    trayIcon_->update();
}

int MainWindow::messageLoop(bool run, bool hideAtStart) {
    if (run) {
        window_->postMessage(windowMessage::WM_COMMAND, menuCommand::run, 0);
    }
    if (hideAtStart) {
        window_->postMessage(windowMessage::WM_COMMAND, menuCommand::hide, 0);
    }
    return windowSystem_.runEventLoop();
}

void MainWindow::shutdown() {
    if (shutdownDone_) {
        return;
    }
    shutdownDone_ = true;
    HealthStatus::stopWatching();
    uploads_.cancel();
    stopRunning();
    archiving_.end();
    // Without a capture object (start-up failed before wiring it) there is no device to
    // save, and this may run in the destructor, which must not throw.
    if (Settings::getSaveSettingsOnExit() && capture_) {
        saveSettings();
    }
    menu_.reset();
    trayIcon_->setVisible(false);
    trayIcon_->update();
    uploads_.waitEnded();
}

void MainWindow::saveSettings() {
    saveSettingsFile({*this, requireCapture()}, settingsFileName);
}

std::optional<std::intptr_t> MainWindow::windowProc(std::uint32_t message, std::uintptr_t wParam,
                                                    std::intptr_t lParam) {
    if (!linked_) {
        return std::nullopt;
    }
    using namespace windowMessage;
    switch (message) {
    case WM_DESTROY:
        windowSystem_.quit(0);
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
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        drag_.onMouse(*window_, message, wParam, WindowDrag::mousePosition(lParam));
        return 0;
    case WM_LBUTTONDBLCLK:
        instantGrab();
        return 0;
    case WM_RBUTTONDOWN:
    case WM_CONTEXTMENU: // From the keyboard: at the window's corner.
        showPopupMenu(window_->clientToScreen(
            message == WM_RBUTTONDOWN ? WindowDrag::mousePosition(lParam) : Point{0, 0}));
        return 0;
    case WindowPresence::raiseMessage:
        presence_.raise(*window_, menu_.get(), *trayIcon_);
        return 0;
    case HealthStatus::changedMessage:
        health_.onChanged(*trayIcon_, schedule_);
        return 0;
    case instantUploadEndedMessage:
        onInstantUploadEnded();
        return 0;
    case trayCallbackMessage:
        onTrayClick(lParam);
        return 0;
    default:
        return std::nullopt;
    }
}

bool MainWindow::onCommand(int id) {
    switch (id) {
    case menuCommand::about:
        dialogs_.runDialog(window_.get(), aboutDialogId, aboutDialogProc);
        return true;
    case menuCommand::exitProgram:
        stopRunning();
        shutdown();
        window_->destroy();
        return true;
    case menuCommand::instantGrab:
        instantGrab();
        return true;
    case menuCommand::ftpSettings:
        dialogs_.runDialog(window_.get(), ftpSettingsDialogId, ftpSettingsDialogProc);
        return true;
    case menuCommand::videoFormat:
        requireCapture().showFormatDialog();
        // The image size may have changed.
        setZoom(zoom_.index());
        return true;
    case menuCommand::imageSettings:
        dialogs_.runDialog(window_.get(), imageSettingsDialogId, imageSettingsDialogProc);
        // Cancelled or not, a running countdown starts again from the full interval.
        schedule_.restart(GrabSchedule::intervalFor(Settings::getUpdate()));
        return true;
    case menuCommand::previewSettings: {
        Capture& device = requireCapture();
        dialogs_.runDialog(window_.get(), previewSettingsDialogId, previewSettingsDialogProc);
        device.setFrameRate(static_cast<std::uint32_t>(Settings::getFps()));
        return true;
    }
    case menuCommand::hide:
        presence_.set(!presence_.hidden(), *window_, menu_.get(), *trayIcon_);
        return true;
    case menuCommand::status:
        health_.showWindow(schedule_);
        return true;
    case menuCommand::run:
        schedule_.running() ? stopRunning() : startRunning();
        return true;
    case menuCommand::saveOnExit:
        Settings::setSaveSettingsOnExit(!Settings::getSaveSettingsOnExit());
        checkItem(menuCommand::saveOnExit, Settings::getSaveSettingsOnExit());
        return true;
    case menuCommand::saveSettings:
        saveSettings();
        return true;
    case menuCommand::liveViewSettings:
        dialogs_.runDialog(window_.get(), liveViewSettingsDialogId, liveViewSettingsDialogProc);
        liveView_.applySettings();
        return true;
    case menuCommand::pictureSettings:
        PictureSchedule::runDialog(dialogs_, window_.get(), requireCapture().status());
        return true;
    case menuCommand::archiveSettings:
        dialogs_.runDialog(window_.get(), archiveSettingsDialogId, archiveSettingsDialogProc);
        return true;
    default:
        break;
    }
    if (id >= menuCommand::zoomFirst && id <= menuCommand::zoomLast) {
        setZoom(id - menuCommand::zoomFirst);
        return true;
    }
    return DeviceMenu::handles(id) && devices_.onCommand(menu_.get(), requireCapture(), id);
}

void MainWindow::onTrayClick(std::intptr_t mouseMessage) {
    if (mouseMessage == windowMessage::WM_RBUTTONDOWN) {
        showPopupMenu(windowSystem_.cursorPos());
    } else {
        presence_.onTrayMessage(mouseMessage, *window_, menu_.get(), *trayIcon_);
    }
}

Capture& MainWindow::requireCapture() {
    if (!capture_) {
        throw Exception(nullCaptureText);
    }
    return *capture_;
}

void MainWindow::showPopupMenu(Point screen) {
    // A click on the tray icon while the menu is up leaves it as it is: its items are shown.
    if (!menu_ || menuOpen_) {
        return;
    }
    // Cameras come and go while the program runs: the device items are those present now,
    // and the check follows the device in use to its place among them.
    devices_.refresh(menu_.get(), *capture_);
    window_->bringToForeground();
    if (Menu* popup = menu_->subMenu(0)) {
        menuOpen_ = true;
        popup->track(screen, *window_);
        menuOpen_ = false;
    }
}

void MainWindow::checkItem(int id, bool checked) {
    if (menu_) {
        menu_->checkItem(id, checked);
    }
}

void MainWindow::enableItem(int id, bool enabled) {
    if (menu_) {
        menu_->enableItem(id, enabled);
    }
}

void MainWindow::startRunning() {
    if (!schedule_.start(GrabSchedule::intervalFor(Settings::getUpdate()))) {
        return;
    }
    uploads_.startThread();
    checkItem(menuCommand::run, true);
    // The FTP settings cannot change under a running upload thread.
    enableItem(menuCommand::ftpSettings, false);
    trayIcon_->show(runningIconId, activeTip);
    pictureSchedule_.restart();
}

void MainWindow::stopRunning() {
    if (!schedule_.stop()) {
        return;
    }
    trayIcon_->show(idleIconId, inactiveTip);
    checkItem(menuCommand::run, false);
    enableItem(menuCommand::ftpSettings, true);
    uploads_.stopThread();
}

void MainWindow::onTimer() {
    const GrabSchedule::Tick tick = schedule_.tick();
    // Outside the schedule's window the grab and its picture are left out.
    const bool grab = tick.grab && pictureSchedule_.allowsGrab(*trayIcon_, activeTip);
    // The picture is sent after the grab, which may have put the tray into the idle state.
    if (tick.icon && grab == tick.grab) {
        trayIcon_->setIcon(*tick.icon);
    }
    if (grab) {
        grabAndUpload();
    }
    trayIcon_->update();
}

std::optional<std::string> MainWindow::grab() {
    std::optional<std::string> jpegFile = archiving_.grab(requireCapture(), uploads_);
    if (jpegFile) {
        liveView_.grabbed(*jpegFile);
    }
    return jpegFile;
}

void MainWindow::grabAndUpload() {
    const std::optional<std::string> jpegFile = grab();
    const std::optional<std::string> error = jpegFile ? uploads_.post(*jpegFile) : std::nullopt;
    if (error) {
        stopRunning();
        showErrorBox(HealthStatus::withUploadReason(*error + "\n\n Webcam has been stopped."));
    }
}

void MainWindow::instantGrab() {
    if (schedule_.running()) {
        grabAndUpload();
        // The next periodic grab comes a full interval after this one.
        schedule_.restart(schedule_.intervalMs());
        return;
    }
    // While the upload of an earlier grab is still going, the tray says so already.
    const bool uploading = uploads_.instantGoing();
    if (!uploading) {
        trayIcon_->show(grabbingIconId, std::string(activeTip) + " [instant grab]");
    }
    const std::optional<std::string> jpegFile = grab();
    if (!(jpegFile && uploads_.uploadInstantly(*jpegFile)) && !uploading) {
        trayIcon_->show(idleIconId, inactiveTip);
    }
}

void MainWindow::onInstantUploadEnded() {
    if (const auto result = uploads_.onInstantEnded()) {
        // As when the upload thread stops the grabber: idle first, then the box.
        trayIcon_->show(idleIconId, inactiveTip);
        if (!result->succeeded) {
            showErrorBox(HealthStatus::withUploadReason(result->message));
        }
    }
}

int MainWindow::getPositionX() {
    return position_.x = window_->normalRect().left;
}

int MainWindow::getPositionY() {
    return position_.y = window_->normalRect().top;
}
