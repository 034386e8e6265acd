#include "app/GrabWindow.h"

#include "app/SunTimes.h"
#include "settings/PictureValues.h"
#include "settings/Settings.h"

#include <array>
#include <cmath>
#include <utility>

namespace {

// How many days ahead a next start is looked for: beyond any polar night.
constexpr int daysAhead = 370;

// The local time of the day offset days after now's day at minutes after its midnight
// (which may be more than a day's), normalised by the C library.
std::tm localDay(const std::tm& today, int offset, int minutes = 12 * 60) {
    std::tm day{};
    day.tm_year = today.tm_year;
    day.tm_mon = today.tm_mon;
    day.tm_mday = today.tm_mday + offset;
    day.tm_hour = minutes / 60;
    day.tm_min = minutes % 60;
    day.tm_isdst = -1;
    return day;
}

std::time_t localTime(const std::tm& today, int offset, int minutes) {
    std::tm day = localDay(today, offset, minutes);
    return std::mktime(&day);
}

struct Span {
    std::time_t start = 0;
    std::time_t end = 0;
};

// The grab window that starts on the day offset days from today, if it has one.
bool windowOf(const ScheduleOptions& options, const std::tm& today, int offset, Span& span) {
    std::tm noon = localDay(today, offset);
    std::mktime(&noon);
    if (options.days.size() != 7 ||
        options.days[static_cast<std::size_t>((noon.tm_wday + 6) % 7)] != '1') {
        return false;
    }
    if (options.mode == ScheduleOptions::betweenTimes) {
        const int to = options.toMinutes > options.fromMinutes ? options.toMinutes
                                                               : options.toMinutes + 24 * 60;
        span = {localTime(today, offset, options.fromMinutes), localTime(today, offset, to)};
        return true;
    }
    const SunTimes::Result sun =
        SunTimes::forDate(noon.tm_year + 1900, noon.tm_mon + 1, noon.tm_mday, options.latitude,
                          options.longitude, options.mode == ScheduleOptions::civilDaylight);
    if (sun.day == SunTimes::Day::alwaysDown) {
        return false;
    }
    if (sun.day == SunTimes::Day::alwaysUp) {
        span = {localTime(today, offset, 0), localTime(today, offset + 1, 0)};
        return true;
    }
    std::tm utc{};
    utc.tm_year = noon.tm_year;
    utc.tm_mon = noon.tm_mon;
    utc.tm_mday = noon.tm_mday;
    const std::time_t utcMidnight = timegm(&utc);
    span = {utcMidnight + static_cast<std::time_t>(std::lround(sun.riseUtcMinutes * 60)),
            utcMidnight + static_cast<std::time_t>(std::lround(sun.setUtcMinutes * 60))};
    return true;
}

} // namespace

ScheduleOptions ScheduleOptions::fromSettings() {
    ScheduleOptions options;
    options.mode = Settings::getScheduleMode();
    options.fromMinutes =
        PictureValues::parseClock(Settings::getScheduleFrom()).value_or(options.fromMinutes);
    options.toMinutes =
        PictureValues::parseClock(Settings::getScheduleTo()).value_or(options.toMinutes);
    options.latitude = PictureValues::parseDegrees(Settings::getScheduleLatitude(), 90).value_or(0);
    options.longitude =
        PictureValues::parseDegrees(Settings::getScheduleLongitude(), 180).value_or(0);
    if (PictureValues::isDays(Settings::getScheduleDays())) {
        options.days = Settings::getScheduleDays();
    }
    return options;
}

GrabWindow::GrabWindow(Clock clock)
    : clock_(std::move(clock)) {}

GrabWindow::Answer GrabWindow::check(const ScheduleOptions& options) const {
    if (options.mode == ScheduleOptions::always) {
        return {};
    }
    const std::time_t now = clock_();
    std::tm today{};
    localtime_r(&now, &today);
    // Yesterday's window may still be open after midnight.
    for (int offset = -1; offset <= daysAhead; ++offset) {
        Span span;
        if (!windowOf(options, today, offset, span) || span.end <= now) {
            continue;
        }
        if (span.start <= now) {
            return {};
        }
        return {false, span.start};
    }
    return {false, 0};
}

std::string GrabWindow::waitingText(const Answer& answer) const {
    if (answer.resumeAt == 0) {
        return "waiting";
    }
    std::tm at{};
    localtime_r(&answer.resumeAt, &at);
    const bool withinDay = answer.resumeAt - clock_() < 24 * 60 * 60;
    std::array<char, 40> text{};
    const std::size_t length =
        std::strftime(text.data(), text.size(),
                      withinDay ? "waiting until %H:%M" : "waiting until %Y-%m-%d %H:%M", &at);
    return {text.data(), length};
}
