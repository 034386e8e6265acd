#pragma once

#include "platform/DialogProcedure.h"
#include "platform/DialogTemplate.h"

// The program's dialog templates.
inline constexpr int aboutDialogId = 103;
inline constexpr int ftpSettingsDialogId = 132;
inline constexpr int imageSettingsDialogId = 134;
inline constexpr int previewSettingsDialogId = 135;
inline constexpr int archiveSettingsDialogId = 320;

// The item ids of the dialogs, for their templates and their procedures alike. OK, Cancel
// and Apply have the standard command ids (platform/DialogProcedure.h).

// Items of the "FTP Settings" dialog (template 132).
namespace ftpSettingsItem {
inline constexpr int host = 1007;
inline constexpr int port = 1008;
inline constexpr int saveTo = 1009;
inline constexpr int user = 1010;
inline constexpr int password = 1011;
inline constexpr int ftpGroup = 1012;
inline constexpr int active = 1014;
inline constexpr int stopOnError = 1015;
inline constexpr int usePassive = 1018;
} // namespace ftpSettingsItem

// Items of the "Image Settings" dialog (template 134).
namespace imageSettingsItem {
inline constexpr int quality = 1005;
inline constexpr int jpegFile = 1006;
inline constexpr int textOverlay = 1007;
inline constexpr int textRed = 1008;
inline constexpr int textGreen = 1009;
inline constexpr int textBlue = 1010;
inline constexpr int update = 1013;
inline constexpr int backRed = 1015;
inline constexpr int backGreen = 1016;
inline constexpr int dateTimeOverlay = 1017;
inline constexpr int backBlue = 1018;
} // namespace imageSettingsItem

// Items of the "Preview Settings" dialog (template 135).
namespace previewSettingsItem {
inline constexpr int fps = 1000;
} // namespace previewSettingsItem

// Items of the "Archive Settings" dialog (template 320).
namespace archiveSettingsItem {
inline constexpr int active = 3200;
inline constexpr int pattern = 3201;
inline constexpr int keepDays = 3202;
inline constexpr int keepMb = 3203;
inline constexpr int remote = 3204;
inline constexpr int timeLapse = 3205;
inline constexpr int fps = 3206;
inline constexpr int crf = 3207;
inline constexpr int video = 3208;
} // namespace archiveSettingsItem

// The template with the given id, or null when there is none.
const DialogTemplate* findDialogTemplate(int templateId);
