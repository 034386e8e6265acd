#include "app/Uploads.h"

#include "base/Exception.h"
#include "base/HealthLine.h"
#include "ftp/FTPThread.h"
#include "ftp/FtpLogin.h"
#include "ftp/ThreadControl.h"
#include "settings/Settings.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <utility>

namespace {

constexpr std::chrono::milliseconds workersEndingLimit{500};

// The account of the uploads, as the FTP settings are now.
FtpLogin ftpLogin() {
    return {ServerAddress::parse(Settings::getHost(), Settings::getPort()),
            Settings::getUser(),
            Settings::getPassword(),
            Settings::getUsePassive(),
            Settings::getStopOnError(),
            Settings::getUpdate()};
}

} // namespace

Uploads::Uploads(std::function<void()> instantEnded, HealthLine::Sink healthSink)
    : instantEnded_(std::move(instantEnded))
    , health_(std::make_shared<HealthLine>(FTPThread::healthWords, std::chrono::steady_clock::now,
                                           std::move(healthSink))) {}

Uploads::~Uploads() = default;

bool Uploads::serverSetUp() {
    return Settings::getHost() != placeholderHost;
}

void Uploads::startThread() {
    instantUpload_.reset();
    onceMore_.reset();
    if (!Settings::getActive() || !serverSetUp()) {
        return;
    }
    try {
        ftpThread_ = std::make_unique<FTPThread>(ftpLogin(), health_);
    } catch (const std::bad_alloc&) {
        throw Exception("Cannot allocate memory for the FTP Thread.");
    } catch (const std::system_error&) {
        throw Exception("Cannot allocate memory for the FTP Thread.");
    }
    ftpThread_->start();
    for (const InstantUpload::ArchiveFile& file : std::exchange(heldArchive_, {})) {
        ftpThread_->postArchive(file.localFile, file.remoteFile);
    }
}

void Uploads::stopThread() {
    ftpThread_.reset();
}

std::optional<std::string> Uploads::post(const std::string& jpegFile) {
    if (!ftpThread_ || ftpThread_->post(jpegFile, Settings::getSaveTo())) {
        return std::nullopt;
    }
    return ftpThread_->lastError();
}

void Uploads::postArchive(const std::string& localFile, const std::string& remoteFile) {
    if (ftpThread_) {
        ftpThread_->postArchive(localFile, remoteFile);
        return;
    }
    // While idle they go with the next instant upload, or to the thread of the next Run.
    heldArchive_.push_back({localFile, remoteFile});
    if (heldArchive_.size() > FTPThread::maxArchiveWaiting) {
        heldArchive_.erase(heldArchive_.begin());
    }
}

bool Uploads::uploadInstantly(const std::string& jpegFile) {
    if (instantUpload_) {
        // Skipped, this grab would never reach the server, since no further grab comes while
        // idle: it goes once that upload is done.
        onceMore_ = jpegFile;
        return true;
    }
    if (!Settings::getActive() || !serverSetUp()) {
        return false;
    }
    startInstant(jpegFile);
    return true;
}

void Uploads::startInstant(const std::string& jpegFile) {
    onceMore_.reset();
    instantUpload_ =
        std::make_unique<InstantUpload>(ftpLogin(), jpegFile, Settings::getSaveTo(),
                                        std::exchange(heldArchive_, {}), health_, instantEnded_);
    instantUpload_->start();
}

std::optional<InstantUpload::Result> Uploads::onInstantEnded() {
    std::optional<InstantUpload::Result> result =
        instantUpload_ ? instantUpload_->result() : std::nullopt;
    if (!result) {
        return std::nullopt;
    }
    instantUpload_.reset();
    if (result->succeeded && onceMore_ && Settings::getActive()) {
        startInstant(*onceMore_);
        return std::nullopt;
    }
    onceMore_.reset();
    return result;
}

void Uploads::cancel() {
    if (ftpThread_) {
        cancelled_.push_back(ftpThread_->control());
    }
    if (instantUpload_) {
        cancelled_.push_back(instantUpload_->control());
    }
    ftpThread_.reset();
    instantUpload_.reset();
}

void Uploads::waitEnded() {
    const auto deadline = std::chrono::steady_clock::now() + workersEndingLimit;
    for (const auto& worker : cancelled_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        worker->waitEnded(std::max(left, std::chrono::milliseconds(0)));
    }
    cancelled_.clear();
}
