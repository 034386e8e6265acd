#include "app/LiveView.h"

#include "base/HealthJournal.h"
#include "capture/v4l2/V4l2Camera.h"
#include "settings/Settings.h"

#include <fstream>
#include <sstream>

namespace {

bool operator==(const LiveServer::Config& a, const LiveServer::Config& b) {
    return a.address == b.address && a.port == b.port && a.user == b.user &&
           a.password == b.password && a.certFile == b.certFile && a.keyFile == b.keyFile &&
           a.viewers == b.viewers;
}

} // namespace

LiveView::LiveView()
    : server_(source_, frames_, [this](const std::string& line) {
        HealthLine::writeLine(line);
        said_ = line.substr(line.find(' ') + 1);
    }) {}

void LiveView::applySettings() {
    if (!Settings::getLiveActive()) {
        server_.stop();
        running_.reset();
        return;
    }
    const LiveServer::Config config = LiveServer::Config::fromSettings();
    if (running_ && *running_ == config && server_.running()) {
        return;
    }
    running_ = config;
    const bool listening = server_.start(config);
    HealthJournal::program().report(healthSubject, !listening, server_.refusal(), said_);
}

std::optional<std::string> LiveView::statusLine() const {
    if (!running_) {
        return std::nullopt;
    }
    return server_.running() ? std::string(healthSubject) + ": " + server_.url() : said_;
}

void LiveView::grabbed(const std::string& jpegFile) {
    if (!server_.running()) {
        return;
    }
    std::ifstream file(jpegFile, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file) {
        source_.setImage(std::move(bytes).str(), std::chrono::system_clock::now());
    }
}

HealthLine::Sink LiveView::tell(LiveSource::Part part, HealthWords words) {
    const std::string failing =
        std::string("kavriWebCam: ") + words.subject + " " + words.failing + ":";
    return [this, part, failing](const std::string& line) {
        HealthLine::writeLine(line);
        source_.setHealth(part, line.starts_with(failing), line);
    };
}

CameraOutlets LiveView::cameraOutlets() {
    return {tell(LiveSource::Part::camera, V4l2Camera::healthWords), this};
}
