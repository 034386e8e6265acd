#include "app/PictureSchedule.h"

#include "app/TrayIcon.h"
#include "image/SharedPictureOptions.h"
#include "platform/DialogRunner.h"
#include "res/DialogTemplates.h"
#include "settings/PictureSettingsDialog.h"

void PictureSchedule::showInPreview() {
    SharedPictureOptions::set(PictureOptions::fromSettings());
}

void PictureSchedule::runDialog(DialogRunner& dialogs, TopLevelWindow* owner, int frameWidth,
                                int frameHeight) {
    dialogs.runDialog(owner, pictureSettingsDialogId,
                      pictureSettingsDialog(frameWidth, frameHeight));
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
