#include "settings/ArchiveSettingsDialog.h"

#include "base/ErrorBox.h"
#include "base/TimePattern.h"
#include "settings/Settings.h"

#include <algorithm>
#include <string>

namespace {

constexpr std::size_t nameBufferSize = 160;
constexpr unsigned maxFps = 60;
constexpr unsigned maxCrf = 51;

void fill(DialogHost& dialog) {
    using namespace archiveSettingsItem;
    dialog.setChecked(active, Settings::getArchiveActive());
    dialog.setItemText(pattern, Settings::getArchivePattern());
    dialog.setItemUnsigned(keepDays, Settings::getArchiveKeepDays());
    dialog.setItemUnsigned(keepMb, Settings::getArchiveKeepMb());
    dialog.setItemText(remote, Settings::getArchiveRemote());
    dialog.setChecked(timeLapse, Settings::getArchiveTimeLapse());
    dialog.setItemUnsigned(fps, Settings::getArchiveFps());
    dialog.setItemUnsigned(crf, Settings::getArchiveCrf());
    dialog.setItemText(video, Settings::getArchiveVideo());
}

} // namespace

bool applyArchiveSettings(DialogHost& dialog) {
    using namespace archiveSettingsItem;
    const std::string names[] = {dialog.readItemText(pattern, nameBufferSize),
                                 dialog.readItemText(remote, nameBufferSize),
                                 dialog.readItemText(video, nameBufferSize)};
    for (const std::string& name : names) {
        // An empty server name keeps no archive on the server.
        if (!TimePattern(name).usable() && !(name.empty() && &name == &names[1])) {
            showErrorBox("::Archive::\n\nThis name cannot be used:\n   " + name);
            return false;
        }
    }
    Settings::setArchiveActive(dialog.isChecked(active));
    Settings::setArchivePattern(names[0]);
    Settings::setArchiveKeepDays(dialog.readItemUnsigned(keepDays));
    Settings::setArchiveKeepMb(dialog.readItemUnsigned(keepMb));
    Settings::setArchiveRemote(names[1]);
    Settings::setArchiveTimeLapse(dialog.isChecked(timeLapse));
    Settings::setArchiveFps(std::clamp(dialog.readItemUnsigned(fps), 1U, maxFps));
    Settings::setArchiveCrf(std::min(dialog.readItemUnsigned(crf), maxCrf));
    Settings::setArchiveVideo(names[2]);
    return true;
}

bool archiveSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId) {
    return storingDialogStep(dialog, message, commandId, fill, applyArchiveSettings);
}
