#include "app/PictureSchedule.h"

#include "app/StoredGrabSettings.h"
#include "app/TrayIcon.h"
#include "capture/CaptureService.h"
#include "image/SharedPictureOptions.h"
#include "platform/DialogRunner.h"
#include "res/DialogTemplates.h"
#include "settings/PictureSettingsDialog.h"

void PictureSchedule::showInPreview() {
    SharedPictureOptions::set(storedPictureOptions());
}

void PictureSchedule::runDialog(DialogRunner& dialogs, TopLevelWindow* owner,
                                const CaptureStatus& camera) {
    dialogs.runDialog(owner, pictureSettingsDialogId,
                      pictureSettingsDialog(static_cast<int>(camera.uiImageWidth),
                                            static_cast<int>(camera.uiImageHeight)));
    showInPreview();
}

bool PictureSchedule::allowsGrab(TrayIcon& tray, const std::string& activeTip) {
    const GrabWindow::Answer answer = window_.check(ScheduleOptions::fromSettings());
    const std::string waiting = answer.grab ? "" : window_.waitingText(answer);
    if (waiting != waitingFor_) {
        tray.setTip(waiting.empty() ? activeTip : activeTip + " [" + waiting + "]");
        waitingFor_ = waiting;
    }
    return answer.grab;
}
