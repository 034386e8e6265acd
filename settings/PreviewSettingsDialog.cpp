#include "settings/PreviewSettingsDialog.h"

#include "settings/Settings.h"

namespace {

// The typed rate, at most maxfps and at least 1. Both limits compare unsigned, and the
// upper one comes first, so a maxfps of 0 gives 1.
int limitedFps(unsigned typed) {
    const auto maxFps = static_cast<unsigned>(Settings::getMaxFps());
    unsigned fps = typed > maxFps ? maxFps : typed;
    if (fps == 0) {
        fps = 1;
    }
    return static_cast<int>(fps);
}

} // namespace

bool previewSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId) {
    if (message == DialogMessage::Init) {
        dialog.setItemUnsigned(previewSettingsItem::fps, static_cast<unsigned>(Settings::getFps()));
        return true;
    }
    switch (commandId) {
    case dialogOk:
        Settings::setFps(limitedFps(dialog.readItemUnsigned(previewSettingsItem::fps)));
        dialog.endDialog(dialogOk);
        return true;
    case dialogCancel:
        dialog.endDialog(dialogCancel);
        return true;
    default:
        return false;
    }
}
