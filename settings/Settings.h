#pragma once

#include "settings/RememberedCamera.h"

#include <cstdint>
#include <string>
#include <vector>

// The one process-wide store of the user's settings. It holds its defaults from static
// initialisation on; the settings file, the dialogs and the menu change values, and every
// reader takes a value at the moment it needs it. Only the user interface thread touches
// the store: the upload worker gets copies of what it needs when it is created.
//
// Colours are packed as red + green * 256 + blue * 65536 (0x00BBGGRR); the store keeps the
// three 8-bit components apart, so bits 24 to 31 of a packed value are lost. Numbers are
// kept as given: limits are applied where values are typed in, not here.
// The host of a settings file that names no server of its own: nothing is uploaded to it.
inline constexpr const char* placeholderHost = "ftp.example.com";

class Settings {
public:
    Settings() = delete;

    static bool getSaveSettingsOnExit() { return saveSettingsOnExit; }
    static void setSaveSettingsOnExit(bool value) { saveSettingsOnExit = value; }

    static int getFps() { return fps; }
    static void setFps(int value) { fps = value; }
    static int getMaxFps() { return maxFps; }
    static void setMaxFps(int value) { maxFps = value; }

    // The two image strings are handed out in place; don't hold on to them across a setter.
    static const std::string& getJpegFile() { return jpegFile; }
    static void setJpegFile(const std::string& value) { jpegFile = value; }
    static unsigned getJpegQuality() { return jpegQuality; }
    static void setJpegQuality(unsigned value) { jpegQuality = value; }
    // The grab interval in seconds.
    static unsigned getUpdate() { return update; }
    static void setUpdate(unsigned value) { update = value; }
    static bool getDateTimeOverlay() { return dateTimeOverlay == 1; }
    static void setDateTimeOverlay(bool value) { dateTimeOverlay = value ? 1 : 0; }
    static const std::string& getTextOverlay() { return textOverlay; }
    static void setTextOverlay(const std::string& value) { textOverlay = value; }
    static std::uint32_t getTextColor() { return textColor.packed(); }
    static void setTextColor(std::uint32_t packed) { textColor = Color::unpack(packed); }
    static std::uint32_t getBackColor() { return backColor.packed(); }
    static void setBackColor(std::uint32_t packed) { backColor = Color::unpack(packed); }

    // The FTP strings are copies: the upload worker keeps them for a whole run.
    static std::string getHost() { return host; }
    static void setHost(const std::string& value) { host = value; }
    static unsigned getPort() { return port; }
    static void setPort(unsigned value) { port = value; }
    static std::string getSaveTo() { return saveTo; }
    static void setSaveTo(const std::string& value) { saveTo = value; }
    static std::string getUser() { return user; }
    static void setUser(const std::string& value) { user = value; }
    // The password in plain text; only the settings file holds it transformed.
    static std::string getPassword() { return password; }
    static void setPassword(const std::string& value) { password = value; }
    static bool getActive() { return active == 1; }
    static void setActive(bool value) { active = value ? 1 : 0; }
    static bool getStopOnError() { return stopOnError == 1; }
    static void setStopOnError(bool value) { stopOnError = value ? 1 : 0; }
    static bool getUsePassive() { return usePassive == 1; }
    static void setUsePassive(bool value) { usePassive = value ? 1 : 0; }

    // The live view's web server (live/LiveServer). The password in plain text, like the
    // FTP password.
    static bool getLiveActive() { return liveActive == 1; }
    static void setLiveActive(bool value) { liveActive = value ? 1 : 0; }
    static std::string getLiveAddress() { return liveAddress; }
    static void setLiveAddress(const std::string& value) { liveAddress = value; }
    static unsigned getLivePort() { return livePort; }
    static void setLivePort(unsigned value) { livePort = value; }
    static std::string getLiveUser() { return liveUser; }
    static void setLiveUser(const std::string& value) { liveUser = value; }
    static std::string getLivePassword() { return livePassword; }
    static void setLivePassword(const std::string& value) { livePassword = value; }
    static std::string getLiveCertFile() { return liveCertFile; }
    static void setLiveCertFile(const std::string& value) { liveCertFile = value; }
    static std::string getLiveKeyFile() { return liveKeyFile; }
    static void setLiveKeyFile(const std::string& value) { liveKeyFile = value; }
    static std::int32_t getLiveViewers() { return liveViewers; }
    static void setLiveViewers(std::int32_t value) { liveViewers = value; }
    // The archive of every grab and the day's time-lapse video (element "archive"); off by
    // default. The names are strftime patterns relative to the working directory, the remote
    // one relative to the folder of saveto; an empty remote pattern keeps no remote archive.
    // A limit of 0 days or 0 MB is no limit.
    static bool getArchiveActive() { return archiveActive == 1; }
    static void setArchiveActive(bool value) { archiveActive = value ? 1 : 0; }
    static std::string getArchivePattern() { return archivePattern; }
    static void setArchivePattern(const std::string& value) { archivePattern = value; }
    static unsigned getArchiveKeepDays() { return archiveKeepDays; }
    static void setArchiveKeepDays(unsigned value) { archiveKeepDays = value; }
    static unsigned getArchiveKeepMb() { return archiveKeepMb; }
    static void setArchiveKeepMb(unsigned value) { archiveKeepMb = value; }
    static std::string getArchiveRemote() { return archiveRemote; }
    static void setArchiveRemote(const std::string& value) { archiveRemote = value; }
    static bool getArchiveTimeLapse() { return archiveTimeLapse == 1; }
    static void setArchiveTimeLapse(bool value) { archiveTimeLapse = value ? 1 : 0; }
    static unsigned getArchiveFps() { return archiveFps; }
    static void setArchiveFps(unsigned value) { archiveFps = value; }
    static unsigned getArchiveCrf() { return archiveCrf; }
    static void setArchiveCrf(unsigned value) { archiveCrf = value; }
    static std::string getArchiveVideo() { return archiveVideo; }
    static void setArchiveVideo(const std::string& value) { archiveVideo = value; }

    // A number typed into a colour field as a component: above 255 gives 255, anything
    // else its low 8 bits (so -2 gives 254).
    static std::uint8_t clampComponent(std::int32_t value) {
        return value > 255 ? 255 : static_cast<std::uint8_t>(value & 0xFF);
    }

    // The picture's geometry and stamp (image/PictureOptions.h) and when to grab
    // (app/GrabWindow.h). The texts are handed out as copies.
    static std::string getPictureCrop() { return pictureCrop; }
    static void setPictureCrop(const std::string& value) { pictureCrop = value; }
    static std::int32_t getPictureRotate() { return pictureRotate; }
    static void setPictureRotate(std::int32_t value) { pictureRotate = value; }
    static std::int32_t getPictureFlip() { return pictureFlip; }
    static void setPictureFlip(std::int32_t value) { pictureFlip = value; }
    static std::int32_t getPictureWidth() { return pictureWidth; }
    static void setPictureWidth(std::int32_t value) { pictureWidth = value; }
    static std::int32_t getPictureTextSize() { return pictureTextSize; }
    static void setPictureTextSize(std::int32_t value) { pictureTextSize = value; }
    static std::int32_t getPictureCorner() { return pictureCorner; }
    static void setPictureCorner(std::int32_t value) { pictureCorner = value; }
    static std::string getPictureDateFormat() { return pictureDateFormat; }
    static void setPictureDateFormat(const std::string& value) { pictureDateFormat = value; }
    static std::int32_t getScheduleMode() { return scheduleMode; }
    static void setScheduleMode(std::int32_t value) { scheduleMode = value; }
    static std::string getScheduleFrom() { return scheduleFrom; }
    static void setScheduleFrom(const std::string& value) { scheduleFrom = value; }
    static std::string getScheduleTo() { return scheduleTo; }
    static void setScheduleTo(const std::string& value) { scheduleTo = value; }
    static std::string getScheduleLatitude() { return scheduleLatitude; }
    static void setScheduleLatitude(const std::string& value) { scheduleLatitude = value; }
    static std::string getScheduleLongitude() { return scheduleLongitude; }
    static void setScheduleLongitude(const std::string& value) { scheduleLongitude = value; }
    static std::string getScheduleDays() { return scheduleDays; }
    static void setScheduleDays(const std::string& value) { scheduleDays = value; }
    // The cameras' own frame sizes and controls, one entry a camera, in the order first met.
    static const std::vector<RememberedCamera>& getCameras() { return cameras; }
    static void setCameras(std::vector<RememberedCamera> value) { cameras = std::move(value); }
    // The entry of that camera, or null.
    static const RememberedCamera* findCamera(const RememberedCamera::Identity& identity);
    // The entry of that camera, made when there is none; it takes identity as it is now
    // (the camera may have moved to another port).
    static RememberedCamera& rememberCamera(const RememberedCamera::Identity& identity);

private:
    struct Color {
        std::uint8_t red;
        std::uint8_t green;
        std::uint8_t blue;

        std::uint32_t packed() const {
            return red + (std::uint32_t{green} << 8) + (std::uint32_t{blue} << 16);
        }
        static Color unpack(std::uint32_t packed) {
            return {static_cast<std::uint8_t>(packed & 0xFF),
                    static_cast<std::uint8_t>((packed >> 8) & 0xFF),
                    static_cast<std::uint8_t>((packed >> 16) & 0xFF)};
        }
    };

    static bool saveSettingsOnExit;
    static int fps;
    static int maxFps;
    static std::string jpegFile;
    static unsigned jpegQuality;
    static unsigned update;
    static std::int32_t dateTimeOverlay;
    static std::string textOverlay;
    static Color textColor;
    static Color backColor;
    static std::string host;
    static unsigned port;
    static std::string saveTo;
    static std::string user;
    static std::string password;
    static std::int32_t active;
    static std::int32_t stopOnError;
    static std::int32_t usePassive;

    static std::int32_t liveActive;
    static std::string liveAddress;
    static unsigned livePort;
    static std::string liveUser;
    static std::string livePassword;
    static std::string liveCertFile;
    static std::string liveKeyFile;
    static std::int32_t liveViewers;

    static std::string pictureCrop;
    static std::int32_t pictureRotate;
    static std::int32_t pictureFlip;
    static std::int32_t pictureWidth;
    static std::int32_t pictureTextSize;
    static std::int32_t pictureCorner;
    static std::string pictureDateFormat;
    static std::int32_t scheduleMode;
    static std::string scheduleFrom;
    static std::string scheduleTo;
    static std::string scheduleLatitude;
    static std::string scheduleLongitude;
    static std::string scheduleDays;
    static std::int32_t archiveActive;
    static std::string archivePattern;
    static unsigned archiveKeepDays;
    static unsigned archiveKeepMb;
    static std::string archiveRemote;
    static std::int32_t archiveTimeLapse;
    static unsigned archiveFps;
    static unsigned archiveCrf;
    static std::string archiveVideo;
    static std::vector<RememberedCamera> cameras;
};
