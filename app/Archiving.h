#pragma once

#include "image/GrabSettings.h"

#include <ctime>
#include <memory>
#include <optional>
#include <string>

class Capture;
class PictureArchive;
class TimeLapse;
class Uploads;

// The archive settings at work on the grabs: with the archive on, each grab's new JPEG file
// is kept in the picture archive (and, with a remote name, handed to the uploads for the
// archive on the server), the archive is kept within its limits, and with the time-lapse on
// each grab's pixels become a frame of the day's video, whose finished days are uploaded
// too. The settings are read at each grab; a change takes effect with the next one. With
// the archive off (a settings file without the archive's element) a grab is what it was.
// Used on the user interface thread only.
class Archiving {
public:
    Archiving();
    ~Archiving();
    Archiving(const Archiving&) = delete;
    Archiving& operator=(const Archiving&) = delete;

    // Grabs a frame with the image settings of this moment, as Capture::grabFrame, with the
    // archive's work around it (hooked, afterGrab). Returns the JPEG file written.
    std::optional<std::string> grab(Capture& capture, Uploads& uploads);
    // The grab's settings with the archive's hooks added for a grab made now.
    GrabSettings hooked(GrabSettings settings);
    // After the grab: keeps the archive within its limits and hands what goes to the server
    // to uploads.
    void afterGrab(Uploads& uploads);
    // The end of the program: the day's video is closed.
    void end();

private:
    // The folder of the FTP destination, with a slash, below which the archive is stored.
    static std::string remoteFolder();

    std::unique_ptr<PictureArchive> pictures_;
    std::string picturesKey_;
    std::unique_ptr<TimeLapse> timeLapse_;
    std::string timeLapseKey_;
    std::time_t moment_ = 0;
    std::optional<std::string> kept_;
};
