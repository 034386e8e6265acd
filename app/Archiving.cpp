#include "app/Archiving.h"

#include "app/StoredGrabSettings.h"
#include "app/Uploads.h"
#include "archive/PictureArchive.h"
#include "archive/TimeLapse.h"
#include "base/TimePattern.h"
#include "capture/Capture.h"
#include "settings/Settings.h"

#include <filesystem>

namespace {

constexpr std::uint64_t bytesPerMb = std::uint64_t{1} << 20;

} // namespace

Archiving::Archiving() = default;

Archiving::~Archiving() {
    end();
}

GrabSettings Archiving::hooked(GrabSettings settings) {
    moment_ = std::time(nullptr);
    kept_.reset();
    if (!Settings::getArchiveActive()) {
        pictures_.reset();
        timeLapse_.reset();
        return settings;
    }
    // An archive is made again when its settings change.
    const std::string picturesKey = Settings::getArchivePattern() + '\n' +
                                    std::to_string(Settings::getArchiveKeepDays()) + '\n' +
                                    std::to_string(Settings::getArchiveKeepMb());
    if (!pictures_ || picturesKey != picturesKey_) {
        pictures_ = std::make_unique<PictureArchive>(
            TimePattern(Settings::getArchivePattern()),
            PictureArchive::Limits{Settings::getArchiveKeepDays(),
                                   Settings::getArchiveKeepMb() * bytesPerMb});
        picturesKey_ = picturesKey;
    }
    settings.keep = [this](const std::string& newFile) {
        kept_ = pictures_->keep(newFile, moment_);
    };
    const std::string timeLapseKey = Settings::getArchiveVideo() + '\n' +
                                     std::to_string(Settings::getArchiveFps()) + '\n' +
                                     std::to_string(Settings::getArchiveCrf());
    if (!Settings::getArchiveTimeLapse()) {
        timeLapse_.reset();
    } else if (!timeLapse_ || timeLapseKey != timeLapseKey_) {
        timeLapse_.reset();
        timeLapse_ = std::make_unique<TimeLapse>(TimeLapse::Options{
            TimePattern(Settings::getArchiveVideo()), static_cast<int>(Settings::getArchiveFps()),
            static_cast<int>(Settings::getArchiveCrf())});
        timeLapseKey_ = timeLapseKey;
    }
    if (timeLapse_) {
        settings.frame = [this](const Surface& pixels) { timeLapse_->add(pixels, moment_); };
    }
    return settings;
}

void Archiving::afterGrab(Uploads& uploads) {
    if (!pictures_) {
        return;
    }
    const std::string remote = Settings::getArchiveRemote();
    if (kept_ && !remote.empty()) {
        uploads.postArchive(*kept_, remoteFolder() + TimePattern(remote).expand(moment_));
    }
    if (timeLapse_) {
        for (const std::string& video : timeLapse_->takeFinished()) {
            const std::filesystem::path path(video);
            uploads.postArchive(video, remoteFolder() +
                                           (path.is_absolute() ? path.filename() : path).string());
        }
    }
    pictures_->prune(moment_);
}

std::optional<std::string> Archiving::grab(Capture& capture, Uploads& uploads) {
    std::optional<std::string> jpegFile = capture.grabFrame(hooked(storedGrabSettings()));
    afterGrab(uploads);
    return jpegFile;
}

void Archiving::end() {
    if (timeLapse_) {
        timeLapse_->end();
    }
}

std::string Archiving::remoteFolder() {
    const std::string folder = std::filesystem::path(Settings::getSaveTo()).parent_path().string();
    return folder.empty() ? "" : folder + "/";
}
