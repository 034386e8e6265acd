#pragma once

#include <ctime>
#include <functional>
#include <string>

// When the grabber grabs, as the schedule settings say.
struct ScheduleOptions {
    enum Mode {
        always = 0,
        betweenTimes = 1,  // from "from" to "to" local time; a window may cross midnight
        daylight = 2,      // sunrise to sunset at the place
        civilDaylight = 3, // dawn to dusk (civil twilight) at the place
    };

    int mode = always;
    int fromMinutes = 7 * 60; // after local midnight
    int toMinutes = 19 * 60;
    double latitude = 0;  // degrees, north positive
    double longitude = 0; // degrees, east positive
    // Seven characters, Monday first; '1' for a day with grabs. A window that crosses
    // midnight belongs to the day it starts on.
    std::string days = "1111111";

    // The options as the settings store holds them; values that do not read keep these
    // defaults.
    static ScheduleOptions fromSettings();
};

// Answers, for the moment its clock gives, whether to grab now and otherwise when grabbing
// starts again. Times are local time as the C library's time zone gives it, day by day, so a
// window keeps its wall-clock times across daylight-saving changes.
class GrabWindow {
public:
    using Clock = std::function<std::time_t()>;

    struct Answer {
        bool grab = true;
        // When not grabbing: the next start, or 0 when none comes within a year.
        std::time_t resumeAt = 0;
    };

    explicit GrabWindow(Clock clock = [] { return std::time(nullptr); });

    Answer check(const ScheduleOptions& options) const;

    // "waiting until 07:12" for a start within a day from now, else "waiting until
    // 2026-01-15 11:46"; "waiting" alone for none.
    std::string waitingText(const Answer& answer) const;

private:
    Clock clock_;
};
