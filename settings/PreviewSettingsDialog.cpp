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
    return storingDialogStep(
        dialog, message, commandId,
        [](DialogHost& shown) {
            shown.setItemUnsigned(previewSettingsItem::fps,
                                  static_cast<unsigned>(Settings::getFps()));
        },
        [](DialogHost& typed) {
            Settings::setFps(limitedFps(typed.readItemUnsigned(previewSettingsItem::fps)));
            return true;
        });
}
