#pragma once

#include "platform/DialogProcedure.h"
#include "platform/DialogTemplate.h"

// The program's dialog templates.
inline constexpr int aboutDialogId = 103;
inline constexpr int ftpSettingsDialogId = 132;
inline constexpr int imageSettingsDialogId = 134;
inline constexpr int previewSettingsDialogId = 135;
inline constexpr int liveViewSettingsDialogId = 310;
inline constexpr int pictureSettingsDialogId = 300;
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

// Items of the "Live View" dialog (template 310).
namespace liveViewSettingsItem {
inline constexpr int active = 3100;
inline constexpr int address = 3101;
inline constexpr int port = 3102;
inline constexpr int user = 3103;
inline constexpr int password = 3104;
inline constexpr int certFile = 3105;
inline constexpr int keyFile = 3106;
inline constexpr int viewers = 3107;
// Says who can see the live view and whether the password crosses the network in clear.
inline constexpr int exposure = 3108;
} // namespace liveViewSettingsItem
// Items of the "Picture" dialog (template 300).
namespace pictureSettingsItem {
inline constexpr int crop = 3000;
inline constexpr int rotate = 3001;
inline constexpr int flip = 3002;
inline constexpr int width = 3003;
inline constexpr int textSize = 3004;
inline constexpr int corner = 3005;
inline constexpr int dateFormat = 3006;
inline constexpr int isoDate = 3007;
inline constexpr int localeDate = 3008;
inline constexpr int usualDate = 3009;
inline constexpr int mode = 3010;
inline constexpr int from = 3011;
inline constexpr int to = 3012;
inline constexpr int latitude = 3013;
inline constexpr int longitude = 3014;
inline constexpr int days = 3015;
} // namespace pictureSettingsItem
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
