#include "base/HealthLine.h"

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace {

constexpr auto quietTime = std::chrono::minutes(1);
// How long a trouble within the quiet time lasts before it is told as an outage of its own.
constexpr auto outageTime = std::chrono::seconds(10);

std::string counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string duration(std::chrono::steady_clock::duration length) {
    const auto totalS = std::chrono::duration_cast<std::chrono::seconds>(length).count();
    const auto hours = totalS / 3600;
    const auto minutes = totalS / 60 % 60;
    const auto seconds = totalS % 60;
    if (hours > 0) {
        return std::to_string(hours) + " h" +
               (minutes > 0 ? " " + std::to_string(minutes) + " min" : "");
    }
    if (minutes > 0) {
        return std::to_string(minutes) + " min" +
               (seconds > 0 ? " " + std::to_string(seconds) + " s" : "");
    }
    return std::to_string(seconds) + " s";
}

// A reason may quote a server or a file name: it must stay one line and send no control
// codes to a terminal.
std::string printable(std::string text) {
    for (char& byte : text) {
        if (static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F) {
            byte = '?';
        }
    }
    return text;
}

} // namespace

HealthLine::HealthLine(HealthWords words, Clock clock, Sink sink, HealthJournal* journal)
    : words_(words)
    , clock_(std::move(clock))
    , sink_(sink ? std::move(sink) : Sink(writeLine))
    , journal_(journal) {}

void HealthLine::writeLine(const std::string& line) {
    const std::string whole = line + "\n";
    while (write(STDERR_FILENO, whole.data(), whole.size()) < 0 && errno == EINTR) {
    }
}

void HealthLine::failed(const std::string& reason) {
    report(true, reason);
}

void HealthLine::succeeded() {
    report(false, {});
}

void HealthLine::report(bool failing, const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (journal_) {
        const std::string shown = printable(reason);
        journal_->report(words_.subject, failing, shown,
                         std::string(words_.subject) + " " +
                             (failing ? std::string(words_.failing) + ": " + shown
                                      : std::string(words_.recovered)));
    }
    const auto now = clock_();
    if (failing) {
        if (!failing_) {
            failures_ = 0;
            firstFailureAt_ = now;
        }
        ++failures_;
    }
    if (failing != failing_) {
        failing_ = failing;
        ++changesSinceLine_;
        if (!failing) {
            workingSince_ = now;
        }
    }
    if (lineDue(now)) {
        sink_(line(failing_, reason));
        lineSaidFailing_ = failing_;
        printedAny_ = true;
        lastLineAt_ = now;
        changesSinceLine_ = 0;
    }
}

bool HealthLine::lineDue(std::chrono::steady_clock::time_point now) const {
    if (changesSinceLine_ == 0) {
        return false;
    }
    // The end of a told trouble is told at once, and so is a trouble that lasts.
    if (lineSaidFailing_ || (failing_ && now - firstFailureAt_ >= outageTime)) {
        return true;
    }
    return !printedAny_ || now - lastLineAt_ >= quietTime;
}

std::string HealthLine::line(bool failing, const std::string& reason) const {
    std::string text = std::string("kavriWebCam: ") + words_.subject + " ";
    if (failing) {
        text += std::string(words_.failing) + ": " + reason;
    } else {
        text += std::string(words_.recovered) + " after " +
                counted(failures_, "failure", "failures") + " in " +
                duration(workingSince_ - firstFailureAt_);
    }
    if (changesSinceLine_ > 1) {
        text += " (" + std::to_string(changesSinceLine_) + " changes since the last line)";
    }
    return printable(text);
}
