#include "settings/Settings.h"

// The defaults a program without a settings file runs with.
bool Settings::saveSettingsOnExit = true;
int Settings::fps = 30;
int Settings::maxFps = 30;
std::string Settings::jpegFile = "image.jpg";
unsigned Settings::jpegQuality = 70;
unsigned Settings::update = 5;
std::int32_t Settings::dateTimeOverlay = 1;
std::string Settings::textOverlay;
Settings::Color Settings::textColor{11, 210, 0};
Settings::Color Settings::backColor{0, 0, 0};
std::string Settings::host = placeholderHost;
unsigned Settings::port = 21;
std::string Settings::saveTo = "public_html/image.jpg";
std::string Settings::user = "theusername";
std::string Settings::password = "mossyharbor";
std::int32_t Settings::active = 1;
std::int32_t Settings::stopOnError = 0;
std::int32_t Settings::usePassive = 1;

std::int32_t Settings::liveActive = 0;
std::string Settings::liveAddress = "127.0.0.1";
unsigned Settings::livePort = 8080;
std::string Settings::liveUser;
std::string Settings::livePassword;
std::string Settings::liveCertFile;
std::string Settings::liveKeyFile;
std::int32_t Settings::liveViewers = 10;

// The picture as grabbed, stamped the usual way, grabbed at any time.
std::string Settings::pictureCrop;
std::int32_t Settings::pictureRotate = 0;
std::int32_t Settings::pictureFlip = 0;
std::int32_t Settings::pictureWidth = 0;
std::int32_t Settings::pictureTextSize = 0;
std::int32_t Settings::pictureCorner = 0;
std::string Settings::pictureDateFormat;
std::int32_t Settings::scheduleMode = 0;
std::string Settings::scheduleFrom = "07:00";
std::string Settings::scheduleTo = "19:00";
std::string Settings::scheduleLatitude = "0";
std::string Settings::scheduleLongitude = "0";
std::string Settings::scheduleDays = "1111111";
std::int32_t Settings::archiveActive = 0;
std::string Settings::archivePattern = "archive/%Y-%m-%d/%H%M%S.jpg";
unsigned Settings::archiveKeepDays = 0;
unsigned Settings::archiveKeepMb = 0;
std::string Settings::archiveRemote;
std::int32_t Settings::archiveTimeLapse = 0;
unsigned Settings::archiveFps = 25;
unsigned Settings::archiveCrf = 23;
std::string Settings::archiveVideo = "archive/%Y-%m-%d.mp4";

std::vector<RememberedCamera> Settings::cameras;

const RememberedCamera* Settings::findCamera(const RememberedCamera::Identity& identity) {
    for (const RememberedCamera& camera : cameras) {
        if (camera.identity.isSameCamera(identity)) {
            return &camera;
        }
    }
    return nullptr;
}

RememberedCamera& Settings::rememberCamera(const RememberedCamera::Identity& identity) {
    for (RememberedCamera& camera : cameras) {
        if (camera.identity.isSameCamera(identity)) {
            camera.identity = identity;
            return camera;
        }
    }
    RememberedCamera& made = cameras.emplace_back();
    made.identity = identity;
    return made;
}
