#include "app/HealthStatus.h"

#include "app/GrabSchedule.h"
#include "app/LiveView.h"
#include "app/TrayIcon.h"
#include "app/Uploads.h"
#include "base/HealthJournal.h"
#include "capture/Capture.h"
#include "capture/v4l2/V4l2Camera.h"
#include "ftp/FTPThread.h"
#include "platform/TopLevelWindow.h"
#include "platform/WindowSystem.h"
#include "settings/Settings.h"

#include <ctime>

namespace {

std::string timeOfDay(HealthJournal::Time at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

// "camera: ok" or "camera lost: <reason>".
std::string partLine(const HealthWords& words) {
    const HealthJournal::State state = HealthJournal::program().state(words.subject);
    return state.failing ? std::string(words.subject) + " " + words.failing + ": " + state.reason
                         : std::string(words.subject) + ": ok";
}

std::string uploadLine() {
    const HealthWords& words = FTPThread::healthWords;
    if (!Settings::getActive()) {
        return "upload: off";
    }
    if (!Uploads::serverSetUp()) {
        return "upload: FTP not set up";
    }
    const HealthJournal::State state = HealthJournal::program().state(words.subject);
    if (state.failing) {
        return partLine(words);
    }
    return state.lastWorked ? "upload: ok, last at " + timeOfDay(*state.lastWorked) : "upload: ok";
}

} // namespace

HealthStatus::HealthStatus(WindowSystem& windowSystem, const LiveView& liveView)
    : windowSystem_(windowSystem)
    , liveView_(liveView)
    , notified_(HealthJournal::program().number()) {}

void HealthStatus::watch(TopLevelWindow& window, TrayIcon& trayIcon, const GrabSchedule& schedule) {
    trayIcon.setDetailsSource([this, &schedule] { return tipDetails(schedule); });
    HealthJournal::program().setListener([&window] { window.postMessage(changedMessage, 0, 0); });
}

void HealthStatus::stopWatching() {
    HealthJournal::program().setListener({});
}

std::string HealthStatus::withUploadReason(const std::string& text) {
    const HealthJournal::State state =
        HealthJournal::program().state(FTPThread::healthWords.subject);
    return state.failing && !state.reason.empty() ? text + "\n" + state.reason : text;
}

std::string HealthStatus::tipDetails(const GrabSchedule& schedule) const {
    std::string lines = partLine(V4l2Camera::healthWords) + "\n" +
                        partLine(Capture::jpegHealthWords) + "\n" + uploadLine();
    if (const auto live = liveView_.statusLine()) {
        lines += "\n" + *live;
    }
    if (schedule.running()) {
        lines += "\nnext grab in " + std::to_string((schedule.countdownMs() + 999) / 1000) + " s";
    }
    return lines;
}

std::string HealthStatus::windowText(const GrabSchedule& schedule) const {
    std::string text = "Now:\n" + tipDetails(schedule) + "\n\nChanges in this run, newest first:";
    const auto entries = HealthJournal::program().entries();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        text += "\n" + timeOfDay(entry->at) + "  " + entry->text;
    }
    return entries.empty() ? text + "\nnone" : text;
}

void HealthStatus::onChanged(TrayIcon& trayIcon, const GrabSchedule& schedule) {
    for (const HealthJournal::Entry& entry : HealthJournal::program().entries(notified_)) {
        trayIcon.showMessage("kavriWebCam", entry.text);
        notified_ = entry.number + 1;
    }
    trayIcon.update();
    windowSystem_.showText(windowTitle, windowText(schedule), false);
}

void HealthStatus::showWindow(const GrabSchedule& schedule) {
    windowSystem_.showText(windowTitle, windowText(schedule), true);
}
