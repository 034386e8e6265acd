#include "res/DialogTemplates.h"

#include "res/Bitmaps.h"
#include "res/Version.h"

#include <array>

namespace {

using enum DialogControlKind;

constexpr int none = dialogStaticId;
constexpr unsigned number = dialogStyleDigitsOnly | dialogStyleRightAligned;

constexpr std::array aboutControls{
    DialogControl{none, Label, "kavriWebCam Version " KAVRI_VERSION, 0, 20, 230, 8,
                  dialogStyleCentered},
    DialogControl{none, Label, "Written by the kavriWebCam developers", 0, 30, 230, 8,
                  dialogStyleCentered},
    DialogControl{none, Label, "Copyright (C) the kavriWebCam developers", 0, 40, 230, 8,
                  dialogStyleCentered},
    DialogControl{none, Picture, "", 71, 53, 88, 55, dialogStyleSunken, aboutBitmapId},
    DialogControl{dialogOk, DefaultPushButton, "", 160, 109, 10, 11},
    DialogControl{none, Label, "kavri.example", 84, 112, 62, 8, dialogStyleCentered},
    DialogControl{none, Label, "Right-click the picture to open the menu.", 0, 126, 230, 8,
                  dialogStyleCentered},
    DialogControl{none, Label, "This program uses Independent JPEG Group's JPEG software.", 0, 141,
                  230, 9, dialogStyleCentered},
    DialogControl{none, Label,
                  "This software is provided as is, without any warranty.\n"
                  "The developers are not liable for any damage caused\n"
                  "by its use. Please respect the privacy of the people\n"
                  "your camera can see.",
                  0, 152, 230, 49, dialogStyleCentered},
};

constexpr std::array ftpSettingsControls{
    DialogControl{ftpSettingsItem::active, CheckBox, "Use FTP to upload each grabbed image.", 8, 8,
                  144, 10},
    DialogControl{ftpSettingsItem::stopOnError, CheckBox, "Stop on all FTP errors.", 8, 20, 86, 10},
    DialogControl{ftpSettingsItem::host, Edit, "", 60, 44, 125, 12, dialogStyleNone, 0,
                  "name or ftp://name: FTP\n"
                  "ftpes://name: FTP with TLS (AUTH TLS)\n"
                  "ftps://name: FTP with implicit TLS (port 990)\n"
                  "sftp://name: SFTP over SSH (port 22)\n"
                  "s3://endpoint/bucket: S3 object storage over HTTPS (port 443);\n"
                  "  user name: access key, password: secret;\n"
                  "  s3+eu-west-1://, s3+public://: region, objects public\n"
                  "davs://name/base: WebDAV over HTTPS (port 443), dav:// plain (80)"},
    DialogControl{ftpSettingsItem::port, Edit, "", 60, 60, 40, 12, dialogStyleDigitsOnly},
    DialogControl{ftpSettingsItem::user, Edit, "", 60, 76, 69, 12},
    DialogControl{ftpSettingsItem::password, Edit, "", 60, 92, 69, 12, dialogStylePassword},
    DialogControl{ftpSettingsItem::saveTo, Edit, "", 16, 126, 169, 12},
    DialogControl{dialogOk, DefaultPushButton, "OK", 88, 167, 50, 14},
    DialogControl{dialogCancel, PushButton, "Cancel", 144, 167, 50, 14},
    DialogControl{none, Label, "Host:", 16, 44, 40, 12},
    DialogControl{none, Label, "Port:", 16, 60, 40, 12},
    DialogControl{ftpSettingsItem::ftpGroup, GroupBox, "FTP", 8, 32, 185, 129},
    DialogControl{none, Label, "Destination (full path including destination file name):", 16, 112,
                  170, 12},
    DialogControl{none, Label, "Username:", 16, 76, 40, 12},
    DialogControl{none, Label, "Password:", 16, 92, 40, 12},
    DialogControl{ftpSettingsItem::usePassive, CheckBox, "Use FTP in passive mode.", 16, 143, 99,
                  10},
};

constexpr std::array imageSettingsControls{
    DialogControl{dialogOk, DefaultPushButton, "OK", 65, 211, 50, 14},
    DialogControl{dialogCancel, PushButton, "Cancel", 122, 211, 50, 14},
    DialogControl{none, Label, "Quality (%):", 15, 16, 52, 12},
    DialogControl{imageSettingsItem::quality, Edit, "", 73, 16, 18, 12, number},
    DialogControl{none, Label, "Save as:", 15, 31, 52, 12},
    DialogControl{imageSettingsItem::jpegFile, Edit, "", 73, 31, 92, 12},
    DialogControl{none, GroupBox, "Jpeg", 8, 8, 163, 40},
    DialogControl{none, GroupBox, "Image Update", 8, 52, 163, 28},
    DialogControl{none, Label, "Update every:", 15, 62, 52, 12},
    DialogControl{imageSettingsItem::update, Edit, "", 67, 62, 28, 12, number},
    DialogControl{none, Label, "seconds", 99, 62, 28, 12},
    DialogControl{none, GroupBox, "Overlay", 8, 83, 163, 123},
    DialogControl{imageSettingsItem::dateTimeOverlay, CheckBox, "Date and Time Overlay", 14, 96,
                  144, 10},
    DialogControl{imageSettingsItem::textOverlay, Edit, "", 13, 119, 151, 12},
    DialogControl{imageSettingsItem::textRed, Edit, "", 67, 153, 18, 12, number},
    DialogControl{imageSettingsItem::textGreen, Edit, "", 67, 166, 18, 12, number},
    DialogControl{imageSettingsItem::textBlue, Edit, "", 67, 179, 18, 12, number},
    DialogControl{none, Label, "Red (0-255):", 17, 155, 43, 8},
    DialogControl{none, Label, "Green (0-255):", 17, 168, 46, 8},
    DialogControl{none, Label, "Blue (0-255):", 17, 181, 41, 8},
    DialogControl{none, GroupBox, "Text Color", 13, 139, 76, 61},
    DialogControl{imageSettingsItem::backRed, Edit, "", 145, 153, 18, 12, number},
    DialogControl{imageSettingsItem::backGreen, Edit, "", 145, 166, 18, 12, number},
    DialogControl{imageSettingsItem::backBlue, Edit, "", 145, 179, 18, 12, number},
    DialogControl{none, Label, "Red (0-255):", 96, 155, 43, 8},
    DialogControl{none, Label, "Green (0-255):", 96, 168, 46, 8},
    DialogControl{none, Label, "Blue (0-255):", 96, 181, 41, 8},
    DialogControl{none, GroupBox, "Background Color", 91, 139, 75, 61},
    DialogControl{none, Label, "Text Overlay:", 13, 110, 142, 8},
    DialogControl{dialogApply, DefaultPushButton, "Apply", 8, 211, 50, 14},
};

constexpr std::array previewSettingsControls{
    DialogControl{dialogOk, DefaultPushButton, "OK", 78, 32, 50, 14},
    DialogControl{dialogCancel, PushButton, "Cancel", 3, 32, 50, 14},
    DialogControl{previewSettingsItem::fps, Edit, "", 85, 9, 19, 12, number},
    DialogControl{none, Label, "Frames per second:", 19, 11, 63, 8},
};

constexpr std::array liveViewSettingsControls{
    DialogControl{liveViewSettingsItem::active, CheckBox,
                  "Serve a live view of the camera over HTTP.", 8, 8, 200, 10},
    DialogControl{none, Label, "Address:", 16, 26, 50, 12},
    DialogControl{liveViewSettingsItem::address, Edit, "", 70, 24, 90, 12, dialogStyleNone, 0,
                  "127.0.0.1: this machine only\n"
                  "0.0.0.0: every network of this machine (needs a user name and a password)"},
    DialogControl{none, Label, "Port:", 16, 42, 50, 12},
    DialogControl{liveViewSettingsItem::port, Edit, "", 70, 40, 40, 12, number},
    DialogControl{none, Label, "Username:", 16, 58, 50, 12},
    DialogControl{liveViewSettingsItem::user, Edit, "", 70, 56, 90, 12},
    DialogControl{none, Label, "Password:", 16, 74, 50, 12},
    DialogControl{liveViewSettingsItem::password, Edit, "", 70, 72, 90, 12, dialogStylePassword},
    DialogControl{none, Label, "Certificate:", 16, 90, 50, 12},
    DialogControl{liveViewSettingsItem::certFile, Edit, "", 70, 88, 140, 12, dialogStyleNone, 0,
                  "PEM file of the server's certificate; with a key, the live view uses HTTPS"},
    DialogControl{none, Label, "Key:", 16, 106, 50, 12},
    DialogControl{liveViewSettingsItem::keyFile, Edit, "", 70, 104, 140, 12},
    DialogControl{none, Label, "Viewers:", 16, 122, 50, 12},
    DialogControl{liveViewSettingsItem::viewers, Edit, "", 70, 120, 30, 12, number, 0,
                  "How many may watch the stream at once (1-100)"},
    DialogControl{liveViewSettingsItem::exposure, Label, "", 8, 140, 210, 24},
    DialogControl{dialogOk, DefaultPushButton, "OK", 60, 170, 50, 14},
    DialogControl{dialogCancel, PushButton, "Cancel", 114, 170, 50, 14},
    DialogControl{dialogApply, PushButton, "Apply", 168, 170, 50, 14},
};

namespace picture = pictureSettingsItem;

// Labels at x 14, fields at x 92; rows 14 units apart.
constexpr std::array pictureSettingsControls{
    DialogControl{none, GroupBox, "Picture", 8, 6, 216, 118},
    DialogControl{none, Label, "Crop (x,y,w,h):", 14, 18, 76, 8},
    DialogControl{picture::crop, Edit, "", 92, 16, 80, 12, dialogStyleNone, 0,
                  "The part of the camera's picture to publish, in its pixels from the top-left\n"
                  "corner: x,y,width,height, e.g. 160,120,320,240. Empty: the whole picture."},
    DialogControl{none, Label, "Rotate (0, 90, 180, 270):", 14, 32, 76, 8},
    DialogControl{picture::rotate, Edit, "", 92, 30, 24, 12, number, 0,
                  "Degrees clockwise, after the crop."},
    DialogControl{none, Label, "Flip (0, 1, 2):", 14, 46, 76, 8},
    DialogControl{picture::flip, Edit, "", 92, 44, 24, 12, number, 0,
                  "0: none, 1: left-right, 2: top-bottom; after the rotation."},
    DialogControl{none, Label, "Width (pixels):", 14, 60, 76, 8},
    DialogControl{picture::width, Edit, "", 92, 58, 32, 12, number, 0,
                  "The published picture's width, 16 to 7680; the height follows.\n"
                  "Empty: the width of the cropped and turned picture."},
    DialogControl{none, Label, "Text size (1/1000):", 14, 74, 76, 8},
    DialogControl{picture::textSize, Edit, "", 92, 72, 24, 12, number, 0,
                  "The captions' height in thousandths of the picture's height, 5 to 500.\n"
                  "0: the usual 11 pixels."},
    DialogControl{none, Label, "Corner (0-3):", 14, 88, 76, 8},
    DialogControl{picture::corner, Edit, "", 92, 86, 24, 12, number, 0,
                  "Where the date goes; the text takes the other corner on that side.\n"
                  "0: bottom-left, 1: bottom-right, 2: top-left, 3: top-right."},
    DialogControl{none, Label, "Date format:", 14, 102, 76, 8},
    DialogControl{picture::dateFormat, Edit, "", 92, 100, 62, 12, dialogStyleNone, 0,
                  "A strftime pattern, e.g. %Y-%m-%d %H:%M:%S. Empty: MM/DD/YY HH:MM:SS."},
    DialogControl{picture::isoDate, PushButton, "ISO", 156, 100, 20, 12},
    DialogControl{picture::localeDate, PushButton, "Locale", 178, 100, 26, 12},
    DialogControl{picture::usualDate, PushButton, "Usual", 178, 86, 26, 12},
    DialogControl{none, GroupBox, "Schedule", 8, 128, 216, 90},
    DialogControl{none, Label, "Mode (0-3):", 14, 140, 76, 8},
    DialogControl{picture::mode, Edit, "", 92, 138, 24, 12, number, 0,
                  "0: grab always, 1: from From to To, 2: from sunrise to sunset,\n"
                  "3: from dawn to dusk (civil twilight), at the latitude and longitude."},
    DialogControl{none, Label, "From, to (HH:MM):", 14, 154, 76, 8},
    DialogControl{picture::from, Edit, "", 92, 152, 30, 12, dialogStyleNone, 0,
                  "Local time; a window may cross midnight, e.g. 22:00 to 06:00."},
    DialogControl{picture::to, Edit, "", 126, 152, 30, 12},
    DialogControl{none, Label, "Latitude, longitude:", 14, 168, 76, 8},
    DialogControl{picture::latitude, Edit, "", 92, 166, 40, 12, dialogStyleNone, 0,
                  "Degrees north, -90 to 90, e.g. 59.91."},
    DialogControl{picture::longitude, Edit, "", 136, 166, 40, 12, dialogStyleNone, 0,
                  "Degrees east, -180 to 180, e.g. 10.75."},
    DialogControl{none, Label, "Days (Mon-Sun):", 14, 182, 76, 8},
    DialogControl{picture::days, Edit, "", 92, 180, 40, 12, dialogStyleNone, 0,
                  "Seven digits 1 (grab) or 0, Monday first: 1111100 is Monday to Friday."},
    DialogControl{none, Label,
                  "The Image dialog keeps 39 bytes of the overlay text;\n"
                  "a longer text can be set in the settings file.",
                  14, 198, 204, 16},
    DialogControl{dialogOk, DefaultPushButton, "OK", 116, 222, 50, 14},
    DialogControl{dialogCancel, PushButton, "Cancel", 172, 222, 50, 14},
};

constexpr std::string_view patternTip = "A name made from the grab's time: %Y year, %m month, "
                                        "%d day,\n%H hour, %M minute, %S second, %% a percent sign";

constexpr std::array archiveSettingsControls{
    DialogControl{archiveSettingsItem::active, CheckBox, "Keep every grabbed image.", 8, 8, 180,
                  10},
    DialogControl{none, Label, "Name:", 8, 24, 60, 8},
    DialogControl{archiveSettingsItem::pattern, Edit, "", 70, 22, 130, 12, dialogStyleNone, 0,
                  patternTip},
    DialogControl{none, Label, "Keep days (0: all):", 8, 40, 60, 8},
    DialogControl{archiveSettingsItem::keepDays, Edit, "", 70, 38, 30, 12, number},
    DialogControl{none, Label, "Keep MB (0: all):", 108, 40, 60, 8},
    DialogControl{archiveSettingsItem::keepMb, Edit, "", 170, 38, 30, 12, number},
    DialogControl{none, Label, "Server name:", 8, 56, 60, 8},
    DialogControl{archiveSettingsItem::remote, Edit, "", 70, 54, 130, 12, dialogStyleNone, 0,
                  "Below the folder of the FTP destination; empty: no archive on the server"},
    DialogControl{archiveSettingsItem::timeLapse, CheckBox, "Make a time-lapse video of each day.",
                  8, 74, 180, 10},
    DialogControl{none, Label, "Video name:", 8, 90, 60, 8},
    DialogControl{archiveSettingsItem::video, Edit, "", 70, 88, 130, 12, dialogStyleNone, 0,
                  patternTip},
    DialogControl{none, Label, "Frames/s:", 8, 106, 60, 8},
    DialogControl{archiveSettingsItem::fps, Edit, "", 70, 104, 30, 12, number},
    DialogControl{none, Label, "Quality (CRF):", 108, 106, 60, 8},
    DialogControl{archiveSettingsItem::crf, Edit, "", 170, 104, 30, 12, number, 0,
                  "0 (lossless) to 51; 23 is the usual"},
    DialogControl{dialogOk, DefaultPushButton, "OK", 94, 124, 50, 14},
    DialogControl{dialogCancel, PushButton, "Cancel", 150, 124, 50, 14},
};

constexpr std::array templates{
    DialogTemplate{aboutDialogId, "", "System", 8, 232, 207, DialogFrame::ThinBorder,
                   DialogPlacement::CenteredOnScreen, dialogOk, aboutControls},
    DialogTemplate{ftpSettingsDialogId, "FTP Settings", "MS Sans Serif", 8, 199, 188,
                   DialogFrame::CaptionAndSystemMenu, DialogPlacement::CenteredOnMouse,
                   ftpSettingsItem::active, ftpSettingsControls},
    DialogTemplate{imageSettingsDialogId, "Image Settings", "MS Sans Serif", 8, 180, 230,
                   DialogFrame::CaptionAndSystemMenu, DialogPlacement::CenteredOnMouse, dialogOk,
                   imageSettingsControls},
    DialogTemplate{previewSettingsDialogId, "Preview Settings", "MS Sans Serif", 8, 131, 49,
                   DialogFrame::CaptionAndSystemMenu, DialogPlacement::CenteredOnMouse, dialogOk,
                   previewSettingsControls},
    DialogTemplate{liveViewSettingsDialogId, "Live View", "MS Sans Serif", 8, 226, 190,
                   DialogFrame::CaptionAndSystemMenu, DialogPlacement::CenteredOnMouse,
                   liveViewSettingsItem::active, liveViewSettingsControls},
    DialogTemplate{pictureSettingsDialogId, "Picture", "MS Sans Serif", 8, 232, 242,
                   DialogFrame::CaptionAndSystemMenu, DialogPlacement::CenteredOnMouse,
                   pictureSettingsItem::crop, pictureSettingsControls},
    DialogTemplate{archiveSettingsDialogId, "Archive Settings", "MS Sans Serif", 8, 208, 144,
                   DialogFrame::CaptionAndSystemMenu, DialogPlacement::CenteredOnMouse,
                   archiveSettingsItem::active, archiveSettingsControls},
};

} // namespace

const DialogTemplate* findDialogTemplate(int templateId) {
    for (const DialogTemplate& dialog : templates) {
        if (dialog.id == templateId) {
            return &dialog;
        }
    }
    return nullptr;
}
